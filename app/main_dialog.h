#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

#include "app/dialog_actions.h"
#include "app/main_window_state.h"
#include "common/clock.h"
#include "common/message_sink.h"
#include "link/device_link.h"

class QBoxLayout;
class QButtonGroup;
class QComboBox;
class QFrame;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace b6409 {

class ColorRadioButton;
class CXPButton;
class IdTableModel;
class PercentProgressBar;
class ProgressBarSink;

// A path chosen in a file dialog, and for a save the file type whose filter was chosen.
struct FileChoice {
    std::string path;
    int filterIndex = 0;
};

// The utility's main window. It owns the widgets and binds them to the window-free state: each
// event goes to one state method, then the widgets show the state again. Every control keeps its
// dialog id (control_ids.h) as its object name.
class MainDialog : public QDialog {
    Q_OBJECT

  public:
    // What a test or another host replaces: the links, the waits, the message boxes, the file
    // dialogs, and whether closing the window ends the process.
    struct Hooks {
        LinkFactory* links = nullptr;     // none: this machine's serial ports and CAN interfaces
        Clock* clock = nullptr;           // none: real waits
        MessageSink* messages = nullptr;  // none: modal message boxes
        // Asked with the dialog's title and filter list; none: the user cancelled.
        std::function<std::optional<FileChoice>(bool save, const QString& title,
                                                const QStringList& filters)>
            chooseFile;
        bool closeEndsProcess = true;
    };

    explicit MainDialog(QWidget* parent = nullptr);
    MainDialog(QWidget* parent, Hooks hooks);
    ~MainDialog() override;

    MainWindowState& State() { return state_; }
    // A control by its dialog id (control::Id).
    QWidget* Control(int id) const;

  public slots:
    // Enter presses the hidden default OK button: nothing happens.
    void accept() override {}
    // Escape ends the window, but a download first stops after the row in flight.
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // One builder per group box, called in the order the controls take the focus.
    void BuildControls();
    QGroupBox* BuildDeviceBox();
    QGroupBox* BuildListBox();
    QHBoxLayout* BuildListModeRow();
    QGroupBox* BuildSingleBox();
    QGroupBox* BuildGroupBox();
    QTableView* BuildIdTable();
    QGroupBox* BuildOptionBox();
    QFrame* BuildProgressBar();
    // An 11-bit / 29-bit radio pair on the row, bound to the editor's width of those radios.
    void AddWidthPair(QBoxLayout* row, int width11Id, int width29Id);
    void ConnectEvents();
    void ShowState();
    void ShowDeviceLists();
    void ShowEdits();
    void ShowTable();
    void ShowSelection();
    void TakeSelection();
    // Shows the table anew; the view's own reset of its selection does not reach the table.
    void ReloadTable();
    void BindEdit(QLineEdit* edit, EditId id);

    void OnSend();
    void OnGetIds();
    void OnSetIds();
    void OnSaveFile();
    void OnLoadFile();
    void OnAddSingle();
    void OnAddRange();
    void ShowAddedRow(std::optional<size_t> added);
    void OnDeleteRow();
    void OnClearTable();
    void OnFuncTest();
    void ShowAbout();
    // A profile to apply or compare with, chosen and read whole; none when cancelled or refused.
    std::optional<ModuleProfile> ChooseProfile(const QString& title);
    void OnSaveProfile();
    void OnApplyProfile();
    void OnCompareProfile();
    // The context menu's check item: remembered for later runs.
    void SetReplyPacing(bool on);
    // Runs a command with its button (if it has one) disabled; a download or a profile run also
    // locks what it reads or could be started meanwhile.
    void RunCommand(QPushButton* button, bool lockWindow, const std::function<void()>& command);
    // A run that takes events between its steps, so Escape and the close box stop it; then the
    // window ends as they asked, leaving `note` for a terminal or the session's log.
    void RunLong(QPushButton* button, const std::function<void()>& command,
                 const std::function<std::string()>& note);

    std::optional<FileChoice> ChooseFile(bool save, const QString& title,
                                         const QStringList& filters);
    DialogServices Services();
    // After a long run that Escape or the close box stopped: leaves the note and ends as asked.
    void EndAfterStoppedRun(const std::string& note);
    void DumpGeometry() const;

    // The ID column's width, which each list mode click applies again.
    static constexpr int kIdColumnWidth = 180;

    Hooks hooks_;
    std::unique_ptr<MessageSink> ownMessages_;
    std::unique_ptr<Clock> ownClock_;
    std::unique_ptr<LinkFactory> ownLinks_;
    MainWindowState state_;

    std::vector<ColorRadioButton*> deviceRadios_;
    std::vector<ColorRadioButton*> listModeRadios_;
    std::vector<ColorRadioButton*> optionRadios_;
    QLabel* devPortLabel_ = nullptr;
    QComboBox* devPortList_ = nullptr;
    QComboBox* canPortList_ = nullptr;
    QLabel* modulePortLabel_ = nullptr;
    QComboBox* modulePortList_ = nullptr;
    QComboBox* optionSelector_ = nullptr;
    QGroupBox* singleBox_ = nullptr;
    QGroupBox* groupBox_ = nullptr;
    QLineEdit* singleEdit_ = nullptr;
    QLineEdit* fromEdit_ = nullptr;
    QLineEdit* toEdit_ = nullptr;
    QLineEdit* optionValueEdit_ = nullptr;
    QTableView* tableView_ = nullptr;
    IdTableModel* tableModel_ = nullptr;
    CXPButton* getButton_ = nullptr;
    CXPButton* setButton_ = nullptr;
    CXPButton* sendButton_ = nullptr;
    PercentProgressBar* progressBar_ = nullptr;
    std::unique_ptr<ProgressBarSink> progressSink_;
    std::vector<QWidget*> lockedDuringDownload_;
    std::unique_ptr<EventPump> pump_;
    Pacing pacing_;
    bool showing_ = false;  // the widgets are being set from the state: their signals are ours
    bool longRun_ = false;  // a download or a profile run is going
    bool revealFocusedRow_ = false;  // the list changed: scroll to its focused row once
    // How the user asked to leave while a long run went; it stops after its row or step.
    enum class EndRequest { None, Escape, Close } endRequest_ = EndRequest::None;
};

}  // namespace b6409
