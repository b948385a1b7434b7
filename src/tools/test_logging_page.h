#pragma once
// The "Test Logging" page of the advanced settings: "Log by time" or "Log by event", the log
// interval, the output voltage and current change thresholds, and the file format of a saved
// log. The advanced window hosts it in its "Test Logging" tab.
//
//     auto* page = new TTestLoggingPage(tab);
//     page->Load(settings);              // reads "LOG", "LTIM", "LUEV", "LIEV", "EXCEL"
//     page->OnApply = [&] { accept(); }; // its "Apply" button closes the window
//
// After Load every change is written to the store at once (the controls take effect as they are
// changed; the autotest and benchlordctl read the store when they use a value), so the window's
// OK and Cancel need nothing from the page. Save writes all five values again (window close).

#include <QWidget>
#include <functional>
#include <optional>

#include "session/settings_store.h"
#include "tools/core/data_logger.h"

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

class TTestLoggingPage : public QWidget {
public:
    explicit TTestLoggingPage(QWidget* AParent = nullptr);

    // Shows the stored values and binds the page to the store.
    void Load(const TSettingsStore& AStore);
    void Save(const TSettingsStore& AStore) const;

    TLogOptions Options() const;
    void SetOptions(const TLogOptions& AOptions);

    // "Apply": the hosting window closes.
    std::function<void()> OnApply;
    QPushButton* ApplyButton() const { return fApply; }

private:
    void Changed();
    void UpdateEnabled();

    QRadioButton* fByTime = nullptr;
    QRadioButton* fByEvent = nullptr;
    QComboBox* fInterval = nullptr;
    QComboBox* fVoltage = nullptr;
    QComboBox* fCurrent = nullptr;
    QRadioButton* fSpreadsheet = nullptr;
    QRadioButton* fText = nullptr;
    QLabel* fNotice = nullptr;
    QPushButton* fApply = nullptr;
    std::optional<TSettingsStore> fStore;
    bool fLoading = false;
};
