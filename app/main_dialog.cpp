#include "app/main_dialog.h"

#include <unistd.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>
#include <QSettings>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/about_dialog.h"
#include "app/application_icon.h"
#include "app/control_ids.h"
#include "app/dialog_actions.h"
#include "app/dialog_units.h"
#include "app/id_table_model.h"
#include "app/message_box_sink.h"
#include "common/text_format.h"
#include "common/version.h"
#include "controls/color_radio_button.h"
#include "controls/cxp_button.h"
#include "controls/percent_progress_bar.h"
#include "files/data_file.h"
#include "idtable/random_source.h"
#include "link/device_kind.h"
#include "link/serial/tcp_address.h"
#include "link/serial/termios_ser_port.h"
#include "link/system_link_factory.h"

namespace b6409 {

namespace {

constexpr char kWindowCaption[] = "B-6409 Utility v" B6409_VERSION;
constexpr char kAboutEntry[] = "關於 B6409_Utility(&A)...";
constexpr char kSaveProfileEntry[] = "&Save Module Profile...";
constexpr char kApplyProfileEntry[] = "A&pply Module Profile...";
constexpr char kCompareProfileEntry[] = "&Compare Module with Profile...";
const QStringList kProfileFilters = {"Module profile (*.json)"};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Lets the window repaint and take events between the rows of a download; says stop once the
// user asked to leave.
class WindowEventPump final : public EventPump {
  public:
    explicit WindowEventPump(std::function<bool()> stopAsked) : stopAsked_(std::move(stopAsked)) {}
    int PumpWaitingMessages() override {
        QCoreApplication::processEvents();
        return stopAsked_() ? 0 : 1;
    }

  private:
    std::function<bool()> stopAsked_;
};

// The busy cursor over every window of the program while it is in scope.
class BusyCursor {
  public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The file dialogs open where the user last saved or loaded a list, also in a later run.
constexpr char kLastFolderKey[] = "files/lastFolder";

QSettings UserSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "B6409", "B6409_Utility");
}

// Whether exchanges wait for the reply rather than the fixed pacing, also in a later run. Any
// value but "reply" keeps the fixed pacing the module was built against.
constexpr char kPacingKey[] = "exchanges/pacing";
constexpr char kFastExchangesEntry[] = "Fast Exchanges (Wait for Reply)";

Pacing StoredPacing() {
    return UserSettings().value(kPacingKey).toString() == "reply" ? Pacing::Reply : Pacing::Fixed;
}

// The suffix a file type's pattern gives, e.g. "dat" for "CAN Filter-ID File (*.dat)".
QString SuffixOf(const QString& filter) {
    const qsizetype star = filter.lastIndexOf("*.");
    if (star < 0) return {};
    QString suffix = filter.mid(star + 2);
    suffix.truncate(suffix.indexOf(')') < 0 ? suffix.size() : suffix.indexOf(')'));
    return suffix;
}

// Qt's file-dialog filter list from the utility's "name|pattern|...||" form.
QStringList FileFilters(const char* filter) {
    QStringList parts = QString(filter).split('|', Qt::SkipEmptyParts);
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) filters << parts[i];
    return filters;
}

}  // namespace

MainDialog::MainDialog(QWidget* parent) : MainDialog(parent, Hooks{}) {}

MainDialog::MainDialog(QWidget* parent, Hooks hooks)
    : QDialog(parent),
      hooks_(std::move(hooks)),
      ownMessages_(hooks_.messages ? nullptr : std::make_unique<MessageBoxSink>(this)),
      ownClock_(hooks_.clock ? nullptr : std::make_unique<SystemClock>()),
      ownLinks_(hooks_.links ? nullptr
                             : std::make_unique<SystemLinkFactory>(hooks_.clock ? *hooks_.clock
                                                                                : *ownClock_)),
      state_(hooks_.messages ? *hooks_.messages : *ownMessages_),
      pump_(std::make_unique<WindowEventPump>([this] { return endRequest_ != EndRequest::None; })),
      pacing_(StoredPacing()) {
    if (!hooks_.messages) hooks_.messages = ownMessages_.get();
    if (!hooks_.clock) hooks_.clock = ownClock_.get();
    if (!hooks_.links) hooks_.links = ownLinks_.get();

    setWindowTitle(kWindowCaption);
    setWindowIcon(ApplicationIcon());
    // A fixed dialog with a minimise box and no maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    BuildControls();
    ConnectEvents();
    ShowState();
    state_.RecordProgressColors(progressSink_->Colors());
    setFixedSize(DialogUnitsToPixels(font(), 318, 444));
}

MainDialog::~MainDialog() = default;

QWidget* MainDialog::Control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

void MainDialog::ConnectEvents() {
    auto* deviceGroup = deviceRadios_.front()->group();
    connect(deviceGroup, &QButtonGroup::idClicked, this, [this](int kind) {
        state_.ChooseDeviceKind(static_cast<DeviceKind>(kind));
        ShowDeviceLists();
        ShowState();
    });
    auto bindList = [this](QComboBox* list, auto choose, auto stored) {
        // A choice from the popup, by arrow keys or by the wheel.
        connect(list, &QComboBox::activated, this, [this, choose](int index) {
            (state_.*choose)(index);
            ShowState();
        });
        // Typing in a list's edit field brings back the stored entry. Only the user's own typing
        // counts: the list rewrites its edit text itself before it reports a choice.
        connect(list->lineEdit(), &QLineEdit::textEdited, this, [this, list, stored] {
            const int index = stored(state_);
            if (index < 0 || index >= list->count()) return;
            showing_ = true;
            list->setCurrentIndex(index);
            list->setEditText(list->itemText(index));
            showing_ = false;
        });
    };
    bindList(devPortList_, &MainWindowState::ChooseDevicePort,
             [](const MainWindowState& s) { return int(s.Settings().devicePortIndex); });
    bindList(canPortList_, &MainWindowState::ChooseCanPort,
             [](const MainWindowState& s) { return int(s.Settings().canPortIndex); });
    bindList(modulePortList_, &MainWindowState::ChooseModulePort,
             [](const MainWindowState& s) { return int(s.Settings().modulePortIndex); });

    connect(listModeRadios_.front()->group(), &QButtonGroup::idClicked, this, [this](int id) {
        state_.ClickListMode(id == control::FilterModeRadio ? IdListMode::Filter
                                                            : IdListMode::Mapping);
        // The ID column is inserted anew with each mode click, at its own width.
        tableView_->setColumnWidth(2, kIdColumnWidth);
        ShowState();
    });
    connect(optionRadios_.front()->group(), &QButtonGroup::idClicked, this, [this](int id) {
        const bool focusValue = state_.ClickOption(static_cast<OptionRadio>(id));
        ShowState();
        // Later, not now: an arrow key checks the radio first and then gives it the focus, which
        // would take the focus straight back from the value edit.
        if (focusValue)
            QTimer::singleShot(0, optionValueEdit_,
                               [edit = optionValueEdit_] { edit->setFocus(Qt::OtherFocusReason); });
    });
    connect(optionSelector_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (showing_ || index < 0) return;
        state_.ChooseOptionEntry(static_cast<OptionEntry>(index));
        ShowState();
    });
    optionValueEdit_->installEventFilter(this);

    BindEdit(singleEdit_, EditId::Single);
    BindEdit(fromEdit_, EditId::From);
    BindEdit(toEdit_, EditId::To);
    BindEdit(optionValueEdit_, EditId::OptionValue);

    connect(tableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { TakeSelection(); });
    connect(tableView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { TakeSelection(); });

    auto onClick = [this](int id, void (MainDialog::*handler)()) {
        connect(static_cast<QPushButton*>(Control(id)), &QPushButton::clicked, this, handler);
    };
    onClick(control::AddSingleButton, &MainDialog::OnAddSingle);
    onClick(control::AddRangeButton, &MainDialog::OnAddRange);
    onClick(control::DeleteRowButton, &MainDialog::OnDeleteRow);
    onClick(control::ClearTableButton, &MainDialog::OnClearTable);
    onClick(control::FuncTestButton, &MainDialog::OnFuncTest);
    onClick(control::SaveFileButton, &MainDialog::OnSaveFile);
    onClick(control::LoadFileButton, &MainDialog::OnLoadFile);
    onClick(control::GetIdsButton, &MainDialog::OnGetIds);
    onClick(control::SetIdsButton, &MainDialog::OnSetIds);
    onClick(control::SendButton, &MainDialog::OnSend);
    connect(static_cast<QPushButton*>(Control(control::Cancel)), &QPushButton::clicked, this,
            &QDialog::reject);
}

void MainDialog::BindEdit(QLineEdit* edit, EditId id) {
    connect(edit, &QLineEdit::textEdited, this, [this, edit, id](const QString& typed) {
        EditField& field = state_.Editor().Edit(id);
        // The limit is the field's, not the widget's: a longer text the utility set must stand.
        const FittedChange fitted = FitToLimit(field.Text(), typed.toStdString(),
                                               size_t(edit->cursorPosition()), field.Limit());
        const bool accepted = field.SetText(fitted.text);
        if (Text(field.Text()) != typed) {
            const size_t shown = field.Text().size();
            // A refused keystroke leaves the caret where the keystroke found it.
            const size_t length = size_t(typed.size());
            const size_t shorter = length > shown ? length - shown : 0;
            const size_t caret =
                accepted ? fitted.caret : fitted.caret - std::min(fitted.caret, shorter);
            edit->setText(Text(field.Text()));
            edit->setCursorPosition(int(std::min(caret, shown)));
        }
    });
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == optionValueEdit_ && event->type() == QEvent::FocusIn) {
        state_.OptionValueFocused();
        ShowState();
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::ShowDeviceLists() {
    showing_ = true;
    for (auto [list, entries] : {std::pair{devPortList_, &state_.DevPortEntries()},
                                 std::pair{canPortList_, &state_.CanPortEntries()}}) {
        list->clear();
        for (const auto& entry : *entries) list->addItem(Text(entry));
        list->setEnabled(true);
    }
    // A converter's COM port that is a TCP stream says where it goes, so that the user need not
    // remember the mapping; the entry keeps its position, and so its port number.
    int widest = 0;
    if (IsSerialKind(state_.Settings().deviceKind)) {
        for (int index = 0; index < devPortList_->count(); ++index) {
            const std::string path = DefaultComPortPath(uint16_t(index + 1));
            if (!IsTcpAddress(path)) continue;
            const QString shown = devPortList_->itemText(index) + "  " + Text(path);
            devPortList_->setItemText(index, shown);
            widest = std::max(widest, devPortList_->fontMetrics().horizontalAdvance(shown));
        }
    }
    // The list is narrower than an address: its popup widens so that none is cut short.
    const int frame = 2 * devPortList_->view()->frameWidth() +
                      devPortList_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 12;
    devPortList_->view()->setMinimumWidth(widest ? widest + frame : 0);
    showing_ = false;
}

void MainDialog::ShowState() {
    showing_ = true;
    if (devPortList_->count() != int(state_.DevPortEntries().size()) ||
        canPortList_->count() != int(state_.CanPortEntries().size())) {
        showing_ = false;
        ShowDeviceLists();
        showing_ = true;
    }
    const LinkSettings& settings = state_.Settings();
    devPortLabel_->setText(Text(state_.DevPortLabel()));
    devPortList_->setCurrentIndex(settings.devicePortIndex);
    // An entry with an address is longer than the field: its COM name is what must show.
    if (devPortList_->lineEdit()) devPortList_->lineEdit()->setCursorPosition(0);
    canPortList_->setCurrentIndex(settings.canPortIndex);
    modulePortList_->setCurrentIndex(settings.modulePortIndex);

    // Each radio choice: its checked member, and the chosen member in blue.
    for (auto* choice : {&deviceRadios_, &listModeRadios_, &optionRadios_}) {
        for (ColorRadioButton* radio : *choice)
            radio->setChecked(state_.IsCheckedRadio(radio->objectName().toInt()));
        ColorChoice(*choice);
    }
    // The width radios are checked by ShowEdits below.

    singleBox_->setEnabled(state_.SingleBoxEnabled());
    Control(control::TargetWidth11Radio)->setEnabled(state_.TargetRadiosEnabled());
    Control(control::TargetWidth29Radio)->setEnabled(state_.TargetRadiosEnabled());
    groupBox_->setTitle(state_.GroupBoxCaption());
    getButton_->setText(state_.GetButtonCaption());
    setButton_->setText(state_.SetButtonCaption());
    if (tableModel_->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString() !=
        state_.IdColumnHeader())
        tableModel_->SetIdHeader(state_.IdColumnHeader());

    optionValueEdit_->setEnabled(state_.OptionValueEnabled());
    optionSelector_->setEnabled(state_.OptionSelectorEnabled());
    optionSelector_->setCurrentIndex(static_cast<int>(state_.SelectedOptionEntry()));
    showing_ = false;
    ShowEdits();
    ShowTable();
}

void MainDialog::ShowEdits() {
    const std::pair<QLineEdit*, EditId> edits[] = {{singleEdit_, EditId::Single},
                                                   {fromEdit_, EditId::From},
                                                   {toEdit_, EditId::To},
                                                   {optionValueEdit_, EditId::OptionValue}};
    for (auto [edit, id] : edits) {
        const QString text = Text(state_.Editor().Edit(id).Text());
        if (edit->text() != text) edit->setText(text);
    }
    for (int id :
         {control::SingleWidth11Radio, control::SingleWidth29Radio, control::GroupWidth11Radio,
          control::GroupWidth29Radio, control::TargetWidth11Radio, control::TargetWidth29Radio})
        static_cast<QRadioButton*>(Control(id))->setChecked(state_.IsCheckedRadio(id));
}

void MainDialog::ShowTable() {
    if (!tableModel_->InStep()) ReloadTable();
    ShowSelection();
}

void MainDialog::ShowSelection() {
    showing_ = true;
    QItemSelectionModel* selection = tableView_->selectionModel();
    QItemSelection rows;
    std::optional<int> focused;
    const IdTable& table = state_.Table();
    for (size_t i = 0; i < table.RowCount(); ++i) {
        if (table.Row(i).selected)
            rows.select(tableModel_->index(int(i), 0), tableModel_->index(int(i), 2));
        if (table.Row(i).focused) focused = int(i);
    }
    selection->select(rows, QItemSelectionModel::ClearAndSelect);
    if (focused) {
        // A new current index would scroll the view to it: only a change of the list itself
        // moves it, other events keep where the user scrolled.
        if (selection->currentIndex().row() != *focused)
            selection->setCurrentIndex(tableModel_->index(*focused, 0),
                                       QItemSelectionModel::NoUpdate);
        if (std::exchange(revealFocusedRow_, false)) {
            tableView_->doItemsLayout();  // the scroll range must know the new rows first
            tableView_->scrollTo(tableModel_->index(*focused, 0));
        }
    }
    showing_ = false;
}

void MainDialog::ReloadTable() {
    const bool wasShowing = std::exchange(showing_, true);
    tableModel_->Reload();
    showing_ = wasShowing;
}

void MainDialog::TakeSelection() {
    if (showing_) return;
    IdTable& table = state_.Table();
    const QModelIndex current = tableView_->selectionModel()->currentIndex();
    for (size_t i = 0; i < table.RowCount(); ++i) {
        table.Row(i).selected = tableView_->selectionModel()->isRowSelected(int(i), {});
        table.Row(i).focused = current.isValid() && current.row() == int(i);
    }
}

void MainDialog::RunCommand(QPushButton* button, bool lockWindow,
                            const std::function<void()>& command) {
    // Disabling the focused button would hand the focus on to the next control, so that a second
    // Space ran another command, or, on the option value edit, changed the option. The window
    // itself holds the focus meanwhile, and the button takes it back when it is enabled again;
    // a command from the context menu gives it back to where it was.
    const QPointer<QWidget> focusBefore = focusWidget();
    setFocus(Qt::OtherFocusReason);
    if (button) button->setEnabled(false);
    // A download reads the table, the list mode and the ports between its rows while the window
    // takes events: what could change them waits until it ends, so a list is never sent half to
    // one port and half to another. The window still repaints and the bar moves.
    std::vector<QWidget*> locked;
    if (lockWindow) {
        for (QWidget* widget : lockedDuringDownload_)
            if (widget->isEnabled()) locked.push_back(widget);
        if (setButton_ != button && setButton_->isEnabled()) locked.push_back(setButton_);
        for (QWidget* widget : locked) widget->setEnabled(false);
        for (auto* radio : deviceRadios_) radio->setEnabled(false);
        devPortList_->setEnabled(false);
        canPortList_->setEnabled(false);
        sendButton_->setEnabled(false);
    }
    {
        // A single exchange holds the window until it ends (a silent module takes 1.3 s, the
        // SCV-1's search over its rates several seconds): the cursor says so, and the disabled
        // button is drawn before the wait.
        BusyCursor busy;
        repaint();
        command();
    }
    if (lockWindow) {
        for (QWidget* widget : locked) widget->setEnabled(true);
        for (auto* radio : deviceRadios_) radio->setEnabled(true);
        devPortList_->setEnabled(true);
        canPortList_->setEnabled(true);
        sendButton_->setEnabled(true);
    }
    if (button) button->setEnabled(true);
    ShowState();
    QWidget* focusAfter = button ? button : focusBefore.data();
    if (isVisible() && focusAfter) focusAfter->setFocus(Qt::OtherFocusReason);
}

void MainDialog::RunLong(QPushButton* button, const std::function<void()>& command,
                         const std::function<std::string()>& note) {
    longRun_ = true;
    RunCommand(button, true, command);
    longRun_ = false;
    if (endRequest_ != EndRequest::None) EndAfterStoppedRun(note());
}

DialogServices MainDialog::Services() {
    return {*hooks_.links, *hooks_.messages, *hooks_.clock, *progressSink_, *pump_, pacing_};
}

void MainDialog::OnSend() {
    RunCommand(sendButton_, false, [this] { SendOption(state_, Services()); });
}

void MainDialog::OnGetIds() {
    RunCommand(getButton_, false, [this] {
        GetIds(state_, Services());
        ReloadTable();
    });
}

void MainDialog::OnSetIds() {
    CommandResult result = CommandResult::Ok;
    RunLong(
        setButton_, [this, &result] { result = SetIds(state_, Services()); },
        [this, &result] {
            if (result != CommandResult::Stopped) return std::string();
            return FormatText(
                "the download to CAN%d was stopped before its end step; the "
                "module's list is incomplete until a list is downloaded again.",
                state_.Settings().modulePortIndex + 1);
        });
}

void MainDialog::EndAfterStoppedRun(const std::string& note) {
    // The user is leaving: no box to wait for. A terminal or the session's log keeps the note.
    if (!note.empty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     note.c_str());
        std::fflush(stderr);
    }
    const EndRequest request = std::exchange(endRequest_, EndRequest::None);
    if (request == EndRequest::Close && hooks_.closeEndsProcess) _exit(0);
    QDialog::reject();
}

std::optional<FileChoice> MainDialog::ChooseFile(bool save, const QString& title,
                                                 const QStringList& filters) {
    if (hooks_.chooseFile) return hooks_.chooseFile(save, title, filters);
    QFileDialog dialog(this, title, UserSettings().value(kLastFolderKey).toString());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    // A name typed without its suffix gets the chosen type's, before the dialog asks whether to
    // replace a file, so the question names the file that will be written.
    dialog.setDefaultSuffix(SuffixOf(filters.front()));
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog](const QString& filter) { dialog.setDefaultSuffix(SuffixOf(filter)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().front();
    UserSettings().setValue(kLastFolderKey, QFileInfo(path).absolutePath());
    return FileChoice{QFile::encodeName(path).toStdString(),
                      std::max<int>(0, int(filters.indexOf(dialog.selectedNameFilter())))};
}

void MainDialog::OnSaveFile() {
    const auto choice =
        ChooseFile(true, SaveDialogTitle(state_.Mode()), FileFilters(kSaveDialogFilter));
    if (!choice) return;
    SaveFile(state_, choice->path,
             choice->filterIndex == 1 ? SaveFileType::Workbook : SaveFileType::DataFile,
             *hooks_.messages);
}

void MainDialog::OnLoadFile() {
    const auto choice =
        ChooseFile(false, LoadDialogTitle(state_.Mode()), FileFilters(kLoadDialogFilter));
    if (!choice) return;
    LoadFile(state_, choice->path, *hooks_.messages);
    ReloadTable();
    ShowState();
}

void MainDialog::OnAddSingle() {
    ShowAddedRow(state_.Editor().AddSingle());
}

void MainDialog::OnAddRange() {
    ShowAddedRow(state_.Editor().AddRangeOrMapping());
}

void MainDialog::ShowAddedRow(std::optional<size_t> added) {
    // A refused Add leaves the focus on its button, so the user can correct the edits and press
    // it again.
    if (!added) return;
    revealFocusedRow_ = true;
    ShowState();
    tableView_->setFocus(Qt::OtherFocusReason);
}

void MainDialog::OnDeleteRow() {
    state_.Editor().DeleteRow();
    // The view learns the rows and their selection first, so taking the focus finds the row
    // that moved up already current.
    revealFocusedRow_ = true;
    ReloadTable();
    ShowState();
    tableView_->setFocus(Qt::OtherFocusReason);
}

void MainDialog::OnClearTable() {
    state_.Editor().ClearTable();
    ReloadTable();
    ShowState();
}

void MainDialog::OnFuncTest() {
    TwisterRandomSource random;
    state_.Editor().FuncTest(random, static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch()));
    ReloadTable();
    ShowState();
}

void MainDialog::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

std::optional<ModuleProfile> MainDialog::ChooseProfile(const QString& title) {
    const auto choice = ChooseFile(false, title, kProfileFilters);
    if (!choice) return std::nullopt;
    // A document that cannot be applied whole is refused before anything is asked or sent.
    ProfileDocument document = OpenProfileDocument(choice->path);
    if (!document.profile)
        hooks_.messages->Show(ProfileBoxText(document.refusal), document.refusal.icon);
    return std::move(document.profile);
}

void MainDialog::OnSaveProfile() {
    const auto choice = ChooseFile(true, "Save Module Profile as ...", kProfileFilters);
    if (!choice) return;
    // Stopped, a save has written nothing and changed nothing on the module.
    RunLong(
        nullptr, [this, &choice] { SaveModuleProfile(state_, choice->path, Services()); },
        [] { return std::string(); });
}

void MainDialog::OnApplyProfile() {
    const std::optional<ModuleProfile> profile = ChooseProfile("Apply Module Profile ...");
    if (!profile) return;
    const std::optional<bool> reset =
        AskYesNoCancel(this, "Reset the module after applying?",
                       "The module takes some settings only when it restarts.");
    if (!reset) return;
    ProfileOutcome outcome;
    RunLong(
        nullptr, [&] { outcome = ApplyModuleProfile(state_, *profile, *reset, Services()); },
        [&outcome] {
            // The module may hold part of the profile: the report says which part.
            if (outcome.verdict != ProfileVerdict::Stopped) return std::string();
            std::string note = "the profile apply was stopped part-way:";
            for (const std::string& line : outcome.lines) note += "\n  " + line;
            return note;
        });
}

void MainDialog::OnCompareProfile() {
    const std::optional<ModuleProfile> profile = ChooseProfile("Compare Module with Profile ...");
    if (!profile) return;
    RunLong(
        nullptr, [&] { CompareModuleWithProfile(state_, *profile, Services()); },
        [] { return std::string(); });
}

void MainDialog::SetReplyPacing(bool on) {
    pacing_ = on ? Pacing::Reply : Pacing::Fixed;
    UserSettings().setValue(kPacingKey, on ? "reply" : "fixed");
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    // Between two steps of a run the window takes events: a menu then would start a second run
    // inside the first.
    if (longRun_) return;
    QMenu menu(this);
    QAction* save = menu.addAction(kSaveProfileEntry);
    QAction* apply = menu.addAction(kApplyProfileEntry);
    QAction* compare = menu.addAction(kCompareProfileEntry);
    menu.addSeparator();
    QAction* fast = menu.addAction(kFastExchangesEntry, this, &MainDialog::SetReplyPacing);
    fast->setCheckable(true);
    fast->setChecked(pacing_ == Pacing::Reply);
    menu.addSeparator();
    menu.addAction(kAboutEntry, this, &MainDialog::ShowAbout);
    // A run starts once the menu is gone, not inside its event loop.
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == save) OnSaveProfile();
    if (chosen == apply) OnApplyProfile();
    if (chosen == compare) OnCompareProfile();
}

void MainDialog::reject() {
    if (longRun_) {
        endRequest_ = EndRequest::Escape;
        return;
    }
    QDialog::reject();
}

void MainDialog::closeEvent(QCloseEvent* event) {
    // A download stops after the row in flight, a profile run after its step, so the module is
    // never left with a half-sent request; the program then ends.
    if (longRun_) {
        endRequest_ = EndRequest::Close;
        event->ignore();
        return;
    }
    // Otherwise closing the window ends the program at once: no link is open between commands,
    // so nothing needs tidying.
    if (hooks_.closeEndsProcess) _exit(0);
    QDialog::closeEvent(event);
}

void MainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // For scripts that drive the window with a pointer: where each control is, once laid out.
    if (qEnvironmentVariableIsSet("B6409_DUMP_GEOMETRY"))
        QTimer::singleShot(0, this, [this] { DumpGeometry(); });
}

void MainDialog::DumpGeometry() const {
    // One line per control: its dialog id, then its place in the window's client area.
    for (QWidget* widget : findChildren<QWidget*>()) {
        bool numeric = false;
        widget->objectName().toInt(&numeric);
        if (!numeric || !widget->isVisible()) continue;
        const QPoint at = widget->mapTo(this, QPoint(0, 0));
        std::fprintf(stderr, "%s %d %d %d %d\n", qPrintable(widget->objectName()), at.x(), at.y(),
                     widget->width(), widget->height());
    }
    std::fflush(stderr);
}

}  // namespace b6409
