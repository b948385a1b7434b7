#pragma once
// Scales a panel drawn for one size, with everything in it, to any size: every child keeps its
// place and proportions, the fonts and the style's pixel measures grow with it, and the drawn
// controls (digits, knobs, lamps) draw their geometry anew at the new size, so they stay sharp.
//
// The scaler notes each widget's design geometry (its geometry at scale 1) the first time it sees
// it; widgets placed by a layout keep to the layout, whose margins and spacing are scaled instead,
// and fixed or minimum sizes are scaled where they are set. Code that moves a widget while the
// program runs places it with Place() in design coordinates.

#include <QFont>
#include <QHash>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

class QLayout;
class QSpacerItem;

class TPanelScaler {
public:
    // ARoot is drawn for its present size (scale 1).
    explicit TPanelScaler(QWidget* ARoot);

    double Scale() const { return fScale; }
    // Lays the whole panel out at AScale (the root's own geometry is the caller's business).
    void SetScale(double AScale);
    QSize DesignSize() const { return fDesign; }

    // Places AWidget at the design rectangle ADesign, now and at every later scale.
    static void Place(QWidget* AWidget, const QRect& ADesign);
    // A widget the scaler leaves alone (it places itself).
    static void Exempt(QWidget* AWidget);

private:
    struct TLayoutDesign {
        QMargins Margins;
        int Spacing = -1;
        int HSpacing = -1;  // grids
        int VSpacing = -1;
    };
    struct TSpacerDesign {
        QSize Size;
        QSizePolicy Policy;
    };
    void Record();
    void ScaleLayout(QLayout* ALayout);

    QWidget* fRoot;
    QSize fDesign;
    double fScale = 1;
    QFont fDesignFont;
    QHash<QLayout*, TLayoutDesign> fLayouts;
    QHash<QSpacerItem*, TSpacerDesign> fSpacers;
};

// The style sheet with every pixel measure multiplied by AScale (non-zero measures stay at least
// one pixel).
QString ScaleStyleSheet(const QString& ASheet, double AScale);
