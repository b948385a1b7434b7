#pragma once
// The panel that shows the trend picture: the 320 x 220 image stretched onto the panel in one
// copy, keeping its proportions (centred, the rest filled with the panel colour), and a context
// menu with "Save picture", which writes the picture as PNG at twice its size through a file
// dialog.

#include <QWidget>
#include <functional>

class TTrendView : public QWidget {
public:
    explicit TTrendView(QWidget* AParent = nullptr);

    // The picture to show; it must outlive the view.
    void SetPicture(const QImage* APicture);
    // Where the picture lands inside the panel.
    QRect PictureRect() const;

    // Writes the picture, each pixel doubled, as PNG to APath (".png" added when the name has no
    // suffix); the file is replaced only once it is complete. False (and OnError) on failure.
    bool SavePicture(const QString& APath);
    // The context-menu action: asks for the file name, then saves.
    void SavePictureDialog();

    // Reports a picture that could not be saved; unset: a message box.
    std::function<void(const QString&)> OnError;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* AEvent) override;
    void contextMenuEvent(QContextMenuEvent* AEvent) override;

private:
    bool SaveImage(const QImage& AImage, const QString& APath);

    const QImage* fPicture = nullptr;
    QString fLastFolder;
};
