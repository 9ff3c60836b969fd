// The main window driven as a user drives it, offscreen: real mouse clicks and key presses on the
// shown widgets, against the simulated module on a pseudo-terminal or a bus that answers at once.
#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "app/control_ids.h"
#include "controls/percent_progress_bar.h"
#include "files/data_file.h"
#include "link/system_link_factory.h"
#include "profile/profile_json.h"
#include "sim/module_simulator.h"
#include "sim/serial_converter.h"
#include "support/auto_reply_links.h"
#include "support/recorders.h"
#include "support/temp_dir.h"

namespace b6409 {
namespace {

// What the tests of both kinds of bus share: the shown window and the ways a person uses it.
class DialogDriver : public ::testing::Test {
  protected:
    void Open(LinkFactory& links, Clock& clock, bool realFileDialogs = false) {
        MainDialog::Hooks hooks;
        hooks.links = &links;
        hooks.clock = &clock;
        hooks.messages = &sink;
        hooks.closeEndsProcess = false;
        if (!realFileDialogs) {
            hooks.chooseFile = [this](bool, const QString& title, const QStringList&) {
                asked.push_back(title);
                return nextFile;
            };
        }
        dialog = std::make_unique<MainDialog>(nullptr, hooks);
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }

    template <typename T = QWidget>
    T* Find(int id) {
        auto* widget = qobject_cast<T*>(dialog->Control(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    void Click(int id) { QTest::mouseClick(Find(id), Qt::LeftButton); }
    // Space on the control that has the focus, as a keyboard user presses a button.
    void Press(int id) {
        Find(id)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(Find(id), Qt::Key_Space);
    }
    void Type(int id, const QString& text) {
        auto* edit = Find<QLineEdit>(id);
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    // Opens a list's popup with the mouse and clicks one of its entries.
    void ChooseFromPopup(int id, int entry) {
        auto* list = Find<QComboBox>(id);
        QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(list->width() - 6, list->height() / 2));
        QAbstractItemView* popup = list->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popup->window()));
        // A list ignores a release that comes so soon after its popup opened that it could
        // still belong to the opening press; a person's second click comes later.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        const QRect item = popup->visualRect(popup->model()->index(entry, 0));
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, item.center());
        ASSERT_TRUE(QTest::qWaitFor([popup] { return !popup->isVisible(); }));
    }
    void ClickRow(int row) {
        auto* view = Find<QTableView>(control::IdListView);
        const QRect cell = view->visualRect(view->model()->index(row, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }
    int Rows() { return Find<QTableView>(control::IdListView)->model()->rowCount(); }
    QString Cell(int row, int column) {
        auto* model = Find<QTableView>(control::IdListView)->model();
        return model->data(model->index(row, column)).toString();
    }
    std::vector<int> SelectedRows() {
        std::vector<int> rows;
        for (const QModelIndex& index :
             Find<QTableView>(control::IdListView)->selectionModel()->selectedRows())
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    test::RecordingSink sink;
    std::unique_ptr<MainDialog> dialog;
    std::vector<QString> asked;
    std::optional<FileChoice> nextFile;
};

// The window on the simulated converter and module, with real waits.
class MainDialogTest : public DialogDriver {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(converter.OpenPty(&error)) << error;
        converter.Start();
        const std::string path = converter.SlavePath();
        links = std::make_unique<SystemLinkFactory>(clock, [this, path](uint16_t com) {
            comPorts.push_back(com);
            return path;
        });
        Open(*links, clock);
    }
    void TearDown() override {
        dialog.reset();
        converter.Stop();
    }

    SystemClock clock;
    sim::ModuleSimulator module;
    sim::SerialConverterSim converter{{sim::ConverterKind::Scv1, 115200}, module};
    std::unique_ptr<SystemLinkFactory> links;
    std::vector<uint16_t> comPorts;  // the COM number of each serial port opened
};

TEST_F(MainDialogTest, AWholeSessionOnTheSimulator) {
    // The firmware version with the start option.
    Click(control::SendButton);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");

    // Two rows typed in and added.
    Type(control::SingleEdit, "123");
    Click(control::AddSingleButton);
    Type(control::FromEdit, "100");
    Type(control::ToEdit, "1ff");
    EXPECT_EQ(Find<QLineEdit>(control::ToEdit)->text(), "1FF");
    Click(control::AddRangeButton);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 2), "0x123");
    EXPECT_EQ(Cell(1, 1), "11-bit GID");
    EXPECT_EQ(Cell(1, 2), "0x100~0x1FF");

    // Downloaded with the bar moving, then read back into an emptied table.
    Click(control::SetIdsButton);
    EXPECT_EQ(sink.Last(), "Set CAN1-ID Filter OK !");
    EXPECT_EQ(module.Snapshot().ports[0].filter.size(), 2u);
    EXPECT_EQ(Find<PercentProgressBar>(control::ProgressBar)->position, 399);
    EXPECT_TRUE(Find<QPushButton>(control::SetIdsButton)->isEnabled());
    Click(control::ClearTableButton);
    EXPECT_EQ(Rows(), 0);
    Click(control::GetIdsButton);
    EXPECT_EQ(sink.Last(), "Get CAN1-ID Filter OK !");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(1, 2), "0x100~0x1FF");

    // Saved as a list file, emptied, loaded back.
    test::TempDir dir;
    nextFile = FileChoice{dir / "session", 0};
    Click(control::SaveFileButton);
    EXPECT_EQ(sink.Last(), "File Saved OK !!");
    EXPECT_EQ(asked.back(), "Save CAN Filter-ID File as ...");
    Click(control::ClearTableButton);
    nextFile = FileChoice{dir / "session.dat", 0};
    Click(control::LoadFileButton);
    EXPECT_EQ(asked.back(), "Load CAN Filter-ID File ...");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 0), "001");

    // The second file type writes the workbook.
    nextFile = FileChoice{dir / "session", 1};
    Click(control::SaveFileButton);
    EXPECT_EQ(sink.Last(), "File Saved OK !!");
    EXPECT_TRUE(std::filesystem::exists(dir / "session.xls"));
}

TEST_F(MainDialogTest, EveryListFollowsTheMouseAndTheKeys) {
    // Dev_Port by its popup, then one further by the Down key; typing brings the entry back.
    ChooseFromPopup(control::DevPortList, 2);
    EXPECT_EQ(Find<QComboBox>(control::DevPortList)->currentText(), "COM3");
    QTest::keyClick(Find(control::DevPortList), Qt::Key_Down);
    EXPECT_EQ(Find<QComboBox>(control::DevPortList)->currentText(), "COM4");
    QTest::keyClicks(Find<QComboBox>(control::DevPortList)->lineEdit(), "9x");
    EXPECT_EQ(Find<QComboBox>(control::DevPortList)->currentText(), "COM4");
    Click(control::SendButton);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
    EXPECT_EQ(comPorts.back(), 4);

    // The module port by its popup: the lists and options of CAN2.
    ChooseFromPopup(control::ModulePortList, 1);
    EXPECT_EQ(Find<QComboBox>(control::ModulePortList)->currentText(), "CAN2");
    Click(control::SetIdsButton);
    EXPECT_EQ(sink.Last(), "Set CAN2-ID Filter All Pass OK !");
    Click(control::GetModuleDataRadio);
    ChooseFromPopup(control::OptionSelector, 2);
    Click(control::SendButton);
    EXPECT_EQ(sink.Last(), "CAN2 Listen-Only Mode Disabled");
    Click(control::SetModuleDataRadio);  // the value edit takes the focus
    EXPECT_TRUE(QTest::qWaitFor([this] { return Find(control::OptionValueEdit)->hasFocus(); }));
    ChooseFromPopup(control::OptionSelector, 0);
    Type(control::OptionValueEdit, "125");
    Click(control::SendButton);
    EXPECT_EQ(sink.Last(), "Set CAN2 User-defined Baudrate OK !");
    Click(control::GetModuleDataRadio);
    Click(control::SendButton);
    EXPECT_EQ(sink.Last(), "CAN2 User-defined Baudrate : 125.0 (Kbps)");

    // An adapter with two CAN ports: its CAN_Port list by the keys.
    Click(control::Uhv2Radio);
    EXPECT_EQ(Find<QComboBox>(control::CanPortList)->count(), 2);
    QTest::keyClick(Find(control::CanPortList), Qt::Key_Down);
    EXPECT_EQ(dialog->State().Settings().canPortIndex, 1);
    EXPECT_EQ(Find<QComboBox>(control::CanPortList)->currentText(), "CAN2");
}

TEST_F(MainDialogTest, AConverterPortOverTcpShowsItsAddressAndKeepsItsNumber) {
    setenv("B6409_COM3", "tcp://10.0.0.5:4001", 1);
    Click(control::Ecv1dRadio);  // the list is filled afresh for the converter chosen
    auto* list = Find<QComboBox>(control::DevPortList);
    ChooseFromPopup(control::DevPortList, 2);
    EXPECT_EQ(list->currentText(), "COM3  tcp://10.0.0.5:4001");
    EXPECT_EQ(list->itemText(3), "COM4");
    Click(control::SendButton);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
    EXPECT_EQ(comPorts.back(), 3);
    // A USB adapter's COM port is no converter's stream. (The click lands in the middle of the
    // radio's box, beside its short caption: the whole box takes it.)
    Click(control::Uhv1Radio);
    EXPECT_EQ(list->itemText(2), "COM3");
    unsetenv("B6409_COM3");
}

TEST_F(MainDialogTest, ModeOptionAndWidthRadiosShowInTheControls) {
    Click(control::MappingModeRadio);
    EXPECT_FALSE(Find(control::SingleBox)->isEnabled());
    EXPECT_TRUE(Find(control::TargetWidth11Radio)->isEnabled());
    EXPECT_EQ(Find<QPushButton>(control::GetIdsButton)->text(), "Get CAN Mapping IDs");
    EXPECT_EQ(
        Find<QTableView>(control::IdListView)->model()->headerData(2, Qt::Horizontal).toString(),
        "Mapping IDs");
    Click(control::TargetWidth29Radio);
    EXPECT_EQ(Find<QLineEdit>(control::ToEdit)->text(), "1FFFFFFF");
    Click(control::GroupWidth29Radio);
    EXPECT_EQ(Find<QLineEdit>(control::FromEdit)->text(), "00000000");
    Click(control::TargetWidth11Radio);
    Click(control::AddRangeButton);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, 1), "29>11-bit MID");
    Click(control::FilterModeRadio);
    EXPECT_EQ(Rows(), 0);
    Click(control::SingleWidth29Radio);
    EXPECT_EQ(Find<QLineEdit>(control::SingleEdit)->text(), "1FFFFFFF");
    Click(control::SingleWidth11Radio);
    Click(control::GroupWidth11Radio);
    EXPECT_EQ(Find<QLineEdit>(control::ToEdit)->text(), "7FF");

    Click(control::ResetModuleRadio);
    EXPECT_FALSE(Find(control::OptionValueEdit)->isEnabled());
    EXPECT_FALSE(Find(control::OptionSelector)->isEnabled());
    Click(control::SendButton);
    EXPECT_EQ(sink.Last(), "B-6409 Module Reset OK !");
    Click(control::GetModInfoRadio);
    EXPECT_EQ(dialog->State().PendingCommand(), CommandKind::GetModuleInfo);
}

TEST_F(MainDialogTest, EnterChangesNothingRefusedKeysAreUndoneAndAPasteTakesWhatFits) {
    Type(control::SingleEdit, "8FF");
    EXPECT_EQ(Find<QLineEdit>(control::SingleEdit)->text(),
              "8F");  // the third key would make 8FF: refused
    QTest::keyClick(Find(control::SingleEdit), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Rows(), 0);
    Type(control::SingleEdit, "G");
    EXPECT_EQ(Find<QLineEdit>(control::SingleEdit)->text(), "");

    QApplication::clipboard()->setText("1FFFFFFF");
    QTest::keyClick(Find(control::SingleEdit), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Find<QLineEdit>(control::SingleEdit)->text(), "1FF");
    QTest::keyClick(Find(control::FromEdit), Qt::Key_A, Qt::ControlModifier);
    QApplication::clipboard()->setText("9ab");  // fits, but the filter refuses it
    QTest::keyClick(Find(control::FromEdit), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Find<QLineEdit>(control::FromEdit)->text(), "000");
}

// The window on a bus that answers every request at once, for long lists.
class InstantDialogTest : public DialogDriver {
  protected:
    void SetUp() override { Open(bus, clock, realFileDialogs); }

    // Loads a list of `rows` single IDs through "Load File".
    void LoadRows(int rows) {
        IdTable table;
        for (int k = 0; k < rows; ++k) table.AppendEntry(IdEntry{IdKind::Sid29, uint32_t(k), 0});
        test::RecordingSink quiet;
        ASSERT_TRUE(SaveDataFile(dir / "long", IdListMode::Filter, table, quiet));
        nextFile = FileChoice{dir / "long.dat", 0};
        Click(control::LoadFileButton);
        ASSERT_EQ(Rows(), rows);
    }
    // The user's key or close request arrives while request number `at` is out.
    void DuringRequest(size_t at, std::function<void()> act) {
        bus.onRequest = [this, at, act](const CanFrame&) {
            cursors.push_back(QApplication::overrideCursor()
                                  ? QApplication::overrideCursor()->shape()
                                  : Qt::ArrowCursor);
            if (bus.requests.size() == at) act();
        };
    }

    test::AutoReplyLinks bus;
    test::RecordingClock clock;
    test::TempDir dir;
    bool realFileDialogs = false;
    std::vector<Qt::CursorShape> cursors;
};

TEST_F(InstantDialogTest, DeleteRowSelectsTheRowThatMovedUp) {
    for (const char* id : {"100", "200", "300"}) {
        Type(control::SingleEdit, id);
        Click(control::AddSingleButton);
    }
    ClickRow(1);
    Click(control::DeleteRowButton);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
    EXPECT_TRUE(Find(control::IdListView)->hasFocus());
    Click(control::DeleteRowButton);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, 2), "0x100");
    EXPECT_EQ(SelectedRows(), std::vector<int>{0});  // the new last row

    Press(control::SetIdsButton);
    ASSERT_EQ(bus.requests.size(), 3u);  // begin, the one row, end
    EXPECT_EQ(bus.requests[1].DataLow(), 0x100u);
    EXPECT_EQ(sink.Last(), "Set CAN1-ID Filter OK !");
    for (Qt::CursorShape shape : cursors) EXPECT_EQ(shape, Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    Click(control::ClearTableButton);
    EXPECT_EQ(Rows(), 0);
}

TEST_F(InstantDialogTest, EscapeDuringADownloadStopsItAfterTheRowInFlight) {
    LoadRows(1000);
    DuringRequest(6, [this] {
        QCoreApplication::postEvent(Find(control::SetIdsButton),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {}));
    });
    Click(control::SetIdsButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    // The begin step and rows until the key was seen; no end step, and no box.
    ASSERT_GE(bus.requests.size(), 6u);
    EXPECT_LE(bus.requests.size(), 7u);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(InstantDialogTest, TheCloseBoxDuringADownloadStopsItToo) {
    LoadRows(50);
    DuringRequest(3, [this] { QCoreApplication::postEvent(dialog.get(), new QCloseEvent); });
    Click(control::SetIdsButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_LE(bus.requests.size(), 4u);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(InstantDialogTest, ACommandGivesTheFocusBackToItsButtonAlsoAfterAFailure) {
    bus.errorAt = 1;  // the first command fails, the others pass
    for (int id : {control::SendButton, control::GetIdsButton, control::SetIdsButton}) {
        const size_t first = bus.requests.size();
        Press(id);
        EXPECT_EQ(QApplication::focusWidget(), Find(id)) << id;
        const size_t again = bus.requests.size();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // the same command again
        EXPECT_EQ(QApplication::focusWidget(), Find(id)) << id;
        ASSERT_GT(bus.requests.size(), again) << id;
        EXPECT_EQ(bus.requests[again].id, bus.requests[first].id) << id;
    }
    EXPECT_EQ(sink.Texts().front(), "ErrMsg= Process_Err");

    // A refused Add keeps the focus on its button.
    Press(control::AddSingleButton);
    Press(control::AddSingleButton);
    EXPECT_EQ(sink.Last(), "CAN Filter 11-bit/Single-ID is Existing !");
    EXPECT_EQ(QApplication::focusWidget(), Find(control::AddSingleButton));

    // "Set Module Data" by an arrow key, as by a click, puts the focus into the value edit.
    Find(control::GetModInfoRadio)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Find(control::GetModInfoRadio), Qt::Key_Right);
    QTest::keyClick(Find(control::ResetModuleRadio), Qt::Key_Right);
    EXPECT_TRUE(QTest::qWaitFor([this] { return Find(control::OptionValueEdit)->hasFocus(); }));
    EXPECT_EQ(dialog->State().CheckedOption(), OptionRadio::SetModuleData);
}

// "Fast Exchanges" picked as a person does: a right click on the window, then the entry by the
// keys. The next exchange waits for the reply instead of the fixed 100 ms, also in a later run.
TEST_F(InstantDialogTest, FastExchangesFromTheContextMenuHoldForTheNextExchangeAndRun) {
    auto pickFastExchanges = [this] {
        std::optional<bool> wasChecked;
        QTimer::singleShot(0, [&wasChecked] {
            QMenu* menu = nullptr;
            if (!QTest::qWaitFor([&menu] {
                    menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                    return menu && menu->isVisible();
                }))
                return;
            // After the three profile entries and a separator.
            QAction* fast = menu->actions().at(4);
            EXPECT_EQ(fast->text(), "Fast Exchanges (Wait for Reply)");
            wasChecked = fast->isChecked();
            for (int down = 0; down < 4; ++down) QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QTest::mouseClick(dialog->windowHandle(), Qt::RightButton, {}, QPoint(4, 4));
        return wasChecked;
    };
    Click(control::SendButton);
    EXPECT_EQ(clock.sleeps, std::vector<unsigned>{100});  // fixed pacing unless asked

    EXPECT_EQ(pickFastExchanges(), false);
    Click(control::SendButton);
    EXPECT_EQ(sink.Last(), "FW_Ver = v0.00");
    EXPECT_EQ(clock.sleeps, std::vector<unsigned>{100});  // the reply was there: no wait at all

    dialog.reset();
    Open(bus, clock);
    Click(control::SendButton);
    EXPECT_EQ(clock.sleeps, std::vector<unsigned>{100});
    EXPECT_EQ(pickFastExchanges(), true);  // unchecked again: fixed pacing
    Click(control::SendButton);
    EXPECT_EQ(clock.sleeps, (std::vector<unsigned>{100, 100}));
}

TEST_F(InstantDialogTest, TheListKeepsItsScrollPositionUntilItChanges) {
    LoadRows(40);
    ClickRow(2);
    auto* scroll = Find<QTableView>(control::IdListView)->verticalScrollBar();
    scroll->setValue(scroll->maximum());
    Click(control::GetModuleDataRadio);
    Click(control::OptionSelector);
    QTest::keyClick(Find(control::OptionSelector), Qt::Key_Escape);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    scroll->setValue(0);
    Type(control::SingleEdit, "7FF");
    Click(control::AddSingleButton);  // an Add shows the new row
    auto* view = Find<QTableView>(control::IdListView);
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(view->model()->index(40, 1))));
    EXPECT_EQ(Find<QTableView>(control::IdListView)->columnWidth(2), 180);
    Click(control::MappingModeRadio);
    EXPECT_EQ(Find<QTableView>(control::IdListView)->columnWidth(2), 180);
}

class RealFileDialogTest : public InstantDialogTest {
  protected:
    RealFileDialogTest() { realFileDialogs = true; }
};

// Runs `act` on the next modal window of type T once it is shown.
template <typename T>
void WhenShown(std::function<void(T*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!window || !window->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        act(window);
    });
    poll->start();
}

TEST_F(RealFileDialogTest, SavingAskedBeforeReplacingTheFileItWillWrite) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "B6409", "B6409_Utility");
    settings.setValue("files/lastFolder", QString::fromStdString(dir.path()));
    settings.sync();
    { std::ofstream(dir / "list.dat") << "kept"; }

    QString question, folder;
    auto typeName = [&](QFileDialog* files, QMessageBox::StandardButton answer) {
        folder = files->directory().absolutePath();
        WhenShown<QMessageBox>([&question, answer](QMessageBox* box) {
            question = box->text();
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
        });
        auto* name = files->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        QTest::keyClicks(name, "list");
        QTest::keyClick(name, Qt::Key_Return);
    };
    WhenShown<QFileDialog>([&](QFileDialog* files) {
        typeName(files, QMessageBox::No);
        QTest::keyClick(files, Qt::Key_Escape);
    });
    Click(control::SaveFileButton);
    EXPECT_EQ(folder, QString::fromStdString(dir.path()));
    EXPECT_TRUE(question.contains("list.dat")) << question.toStdString();
    EXPECT_TRUE(sink.shown.empty());

    WhenShown<QFileDialog>([&](QFileDialog* files) { typeName(files, QMessageBox::Yes); });
    Click(control::SaveFileButton);
    EXPECT_EQ(sink.Last(), "File Saved OK !!");
    EXPECT_GT(std::filesystem::file_size(dir / "list.dat"), 4u);
}

TEST_F(MainDialogTest, AProfileAppliedFromTheContextMenuLeavesTheTableAndTheOptionsAlone) {
    test::TempDir dir;
    ModuleProfile profile;
    profile.busOffSeconds = 5;
    profile.ports[0].filter = {{"11-bit SID", "0x7E0"}, {"29-bit GID", "0x00000100~0x000001FF"}};
    profile.ports[1].mapping = {{"11>11-bit MID", "0x100>0x200"}};
    profile.ports[1].userBaud = "125";
    profile.ports[1].listenOnly = true;
    ASSERT_EQ(SaveProfileFile(dir / "plant.json", profile), AtomicWriteResult::Ok);
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "B6409", "B6409_Utility");
    settings.setValue("files/lastFolder", QString::fromStdString(dir.path()));
    settings.sync();
    dialog.reset();
    Open(*links, clock, /*realFileDialogs=*/true);

    // What the run must leave as it is: a row, the mapping mode, CAN2 and a typed option value.
    Click(control::MappingModeRadio);
    Click(control::AddRangeButton);
    ChooseFromPopup(control::ModulePortList, 1);
    Click(control::SetModuleDataRadio);
    Type(control::OptionValueEdit, "250");

    // The menu by a right click, its entry by the keys, the file by its typed name, and no
    // reset by the question's N key.
    QString question;
    WhenShown<QFileDialog>([&](QFileDialog* files) {
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            QTest::keyClick(box, Qt::Key_N);
        });
        QTest::keyClicks(files->findChild<QLineEdit*>("fileNameEdit"), "plant");
        QTest::keyClick(files->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
    });
    QStringList entries;
    auto* poll = new QTimer(dialog.get());
    QObject::connect(poll, &QTimer::timeout, [&entries, poll] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible()) return;
        poll->stop();
        for (QAction* action : menu->actions()) entries << action->text();
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}) QTest::keyClick(menu, key);
    });
    poll->start(10);
    // Through the window, as the platform delivers a click: the context menu follows the press.
    QTest::mouseClick(dialog->windowHandle(), Qt::RightButton, {},
                      Find(control::ProgressBar)->mapTo(dialog.get(), QPoint(4, 4)));

    EXPECT_EQ(entries,
              (QStringList{"&Save Module Profile...", "A&pply Module Profile...",
                           "&Compare Module with Profile...", "", "Fast Exchanges (Wait for Reply)",
                           "", "關於 B6409_Utility(&A)..."}));
    EXPECT_EQ(question, "Reset the module after applying?");
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.Last(),
              "port 1 bit rate: the profile holds no record, and the module keeps the one it has\n"
              "port 1 filter list: ok\nport 1 mapping list: ok\nport 1 bit rate: ok\n"
              "port 1 listen-only: ok\nport 2 filter list: ok\nport 2 mapping list: ok\n"
              "port 2 bit rate: ok\nport 2 listen-only: ok\nbus-off time: ok");
    const sim::ModuleState held = module.Snapshot();
    EXPECT_EQ(held.ports[0].filter.size(), 2u);
    EXPECT_TRUE(held.ports[1].listenOnly);
    EXPECT_EQ(held.busOffSeconds, 5u);
    EXPECT_EQ(held.resets, 0);
    // Eight steps set the module and ten read it back.
    EXPECT_EQ(Find<PercentProgressBar>(control::ProgressBar)->position, 18);

    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, 1), "11>11-bit MID");
    EXPECT_EQ(Find<QComboBox>(control::ModulePortList)->currentText(), "CAN2");
    EXPECT_EQ(Find<QLineEdit>(control::OptionValueEdit)->text(), "250");
    EXPECT_EQ(dialog->State().CheckedOption(), OptionRadio::SetModuleData);
    EXPECT_TRUE(Find(control::SetIdsButton)->isEnabled());
    EXPECT_TRUE(Find(control::GetIdsButton)->isEnabled());
}

}  // namespace
}  // namespace b6409
