#pragma once
// The "Colors and Update" tab: the three display colour boxes with their ">" buttons (the colour
// dialog), "Save" and "Cancel", and the area that hosts the firmware update page.

#include <QWidget>
#include <array>
#include <functional>

class QGroupBox;
class QPushButton;
class TColorBox;

class TColorsPage : public QWidget {
public:
    explicit TColorsPage(QWidget* AParent);

    TColorBox* ColorBox(int AIndex) const { return fBoxes[static_cast<size_t>(AIndex - 1)]; }
    QPushButton* MoreBtn(int AIndex) const { return fMore[static_cast<size_t>(AIndex - 1)]; }
    QPushButton* SaveBtn() const { return fSave; }
    QPushButton* CancelBtn() const { return fCancel; }
    // The area below the colours where the update page goes.
    QGroupBox* UpdateArea() const { return fUpdateArea; }
    // Puts APage into the update area.
    void HostUpdatePage(QWidget* APage);

    // ">" button: the colour dialog preset to the box's colour; confirmed, the box takes it.
    void ChooseColor(int AIndex);

    std::function<void()> OnSave;
    std::function<void()> OnCancel;

private:
    std::array<TColorBox*, 3> fBoxes{};
    std::array<QPushButton*, 3> fMore{};
    QPushButton* fSave;
    QPushButton* fCancel;
    QGroupBox* fUpdateArea;
};
