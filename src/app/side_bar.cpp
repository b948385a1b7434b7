#include "app/side_bar.h"

#include <QToolButton>
#include <QVBoxLayout>

TCategoryPanel::TCategoryPanel(QWidget* AParent, const QString& ACaption, QWidget* AContent)
    : QWidget(AParent), fHeader(new QToolButton(this)), fContent(AContent) {
    setObjectName(QStringLiteral("CategoryPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    fHeader->setObjectName(QStringLiteral("CategoryHeader"));
    fHeader->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    fHeader->setArrowType(Qt::RightArrow);
    fHeader->setFixedHeight(kHeaderHeight);
    fHeader->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    fHeader->setFocusPolicy(Qt::NoFocus);
    SetCaption(ACaption);
    layout->addWidget(fHeader);
    fContent->setParent(this);
    fContent->setObjectName(fContent->objectName().isEmpty() ? QStringLiteral("CategoryContent")
                                                             : fContent->objectName());
    layout->addWidget(fContent);
    fContent->hide();
    connect(fHeader, &QToolButton::clicked, this, [this] {
        if (fExpanded) {
            SetExpanded(false);
            return;
        }
        if (OnExpand) OnExpand(this);
    });
}

void TCategoryPanel::SetExpanded(bool AExpanded) {
    if (fExpanded == AExpanded) return;
    fExpanded = AExpanded;
    fHeader->setArrowType(AExpanded ? Qt::DownArrow : Qt::RightArrow);
    fHeader->setProperty("open", AExpanded);
    fContent->setVisible(AExpanded);
}

void TCategoryPanel::SetCaption(const QString& ACaption) {
    fHeader->setText(ACaption);
}

QString TCategoryPanel::Caption() const {
    return fHeader->text();
}

TSideBar::TSideBar(QWidget* AParent) : QWidget(AParent), fLayout(new QVBoxLayout(this)) {
    setObjectName(QStringLiteral("SideBar"));
    setAttribute(Qt::WA_StyledBackground);
    fLayout->setContentsMargins(0, 0, 0, 0);
    fLayout->setSpacing(2);
    fLayout->addStretch(1);
}

TCategoryPanel* TSideBar::AddPanel(const QString& ACaption, QWidget* AContent) {
    auto* panel = new TCategoryPanel(this, ACaption, AContent);
    fLayout->insertWidget(static_cast<int>(fPanels.size()), panel);
    panel->OnExpand = [this](TCategoryPanel* APanel) { Expand(APanel); };
    fPanels.push_back(panel);
    return panel;
}

void TSideBar::SetFooter(QWidget* AFooter) {
    // The footer replaces the closing stretch.
    delete fLayout->takeAt(fLayout->count() - 1);
    AFooter->setParent(this);
    fLayout->addWidget(AFooter, 1);
}

void TSideBar::Expand(TCategoryPanel* APanel) {
    if (OnPanelExpand) OnPanelExpand(APanel);
    for (TCategoryPanel* panel : fPanels) {
        if (panel != APanel) panel->SetExpanded(false);
    }
    if (APanel) APanel->SetExpanded(true);
}

bool TSideBar::AllCollapsed() const {
    for (TCategoryPanel* panel : fPanels) {
        if (panel->Expanded()) return false;
    }
    return true;
}
