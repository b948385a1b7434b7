#pragma once
// The side bar: collapsible category panels stacked under each other, of which at most one is
// open. Opening one collapses the others (and tells the owner, who hides the entry pop-ups).

#include <QWidget>
#include <functional>
#include <vector>

class QToolButton;
class QVBoxLayout;

class TCategoryPanel : public QWidget {
public:
    static constexpr int kHeaderHeight = 26;

    TCategoryPanel(QWidget* AParent, const QString& ACaption, QWidget* AContent);

    bool Expanded() const { return fExpanded; }
    void SetExpanded(bool AExpanded);
    void SetCaption(const QString& ACaption);
    QString Caption() const;
    QToolButton* Header() const { return fHeader; }
    QWidget* Content() const { return fContent; }

    // The header was clicked open (before the panel expands).
    std::function<void(TCategoryPanel*)> OnExpand;

private:
    QToolButton* fHeader;
    QWidget* fContent;
    bool fExpanded = false;
};

class TSideBar : public QWidget {
public:
    explicit TSideBar(QWidget* AParent);

    TCategoryPanel* AddPanel(const QString& ACaption, QWidget* AContent);
    // A widget below the panels that takes the height they leave free.
    void SetFooter(QWidget* AFooter);
    // Opens APanel and collapses every other one (CategoryPanelExpand).
    void Expand(TCategoryPanel* APanel);
    bool AllCollapsed() const;
    const std::vector<TCategoryPanel*>& Panels() const { return fPanels; }

    // Runs when a panel opens (the owner hides its pop-ups).
    std::function<void(TCategoryPanel*)> OnPanelExpand;

private:
    QVBoxLayout* fLayout;
    std::vector<TCategoryPanel*> fPanels;
};
