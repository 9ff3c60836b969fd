// The main window driven as a user drives it, offscreen, against the simulated module on a
// pseudo-terminal.
#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include "controls/percent_progress_bar.h"
#include "link/system_link_factory.h"
#include "sim/module_simulator.h"
#include "sim/serial_converter.h"
#include "support/recorders.h"
#include "support/temp_dir.h"

namespace b6409 {
namespace {

class MainDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(converter.OpenPty(&error)) << error;
        converter.Start();
        const std::string path = converter.SlavePath();
        links = std::make_unique<SystemLinkFactory>(clock, [path](uint16_t) { return path; });
        MainDialog::Hooks hooks;
        hooks.links = links.get();
        hooks.clock = &clock;
        hooks.messages = &sink;
        hooks.closeEndsProcess = false;
        hooks.chooseFile = [this](bool save, const QString& title, const QStringList& filters) {
            asked.push_back({save, title, filters});
            return nextFile;
        };
        dialog = std::make_unique<MainDialog>(nullptr, hooks);
        dialog->show();
    }
    void TearDown() override {
        dialog.reset();
        converter.Stop();
    }

    template <typename T = QWidget>
    T* Find(int id) {
        auto* widget = qobject_cast<T*>(dialog->Control(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    void Click(int id) { QTest::mouseClick(Find(id), Qt::LeftButton); }
    void Type(int id, const QString& text) {
        auto* edit = Find<QLineEdit>(id);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    int Rows() { return Find<QTableView>(1022)->model()->rowCount(); }
    QString Cell(int row, int column) {
        auto* model = Find<QTableView>(1022)->model();
        return model->data(model->index(row, column)).toString();
    }

    struct Asked {
        bool save;
        QString title;
        QStringList filters;
    };
    SystemClock clock;
    test::RecordingSink sink;
    sim::ModuleSimulator module;
    sim::SerialConverterSim converter{{sim::ConverterKind::Scv1, 115200}, module};
    std::unique_ptr<SystemLinkFactory> links;
    std::unique_ptr<MainDialog> dialog;
    std::vector<Asked> asked;
    std::optional<FileChoice> nextFile;
};

TEST_F(MainDialogTest, AWholeSessionOnTheSimulator) {
    // The firmware version with the start option.
    Click(1029);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");

    // Two rows typed in and added.
    Type(1015, "123");
    Click(1016);
    Type(1019, "100");
    Type(1020, "1ff");
    EXPECT_EQ(Find<QLineEdit>(1020)->text(), "1FF");
    Click(1021);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 2), "0x123");
    EXPECT_EQ(Cell(1, 1), "11-bit GID");
    EXPECT_EQ(Cell(1, 2), "0x100~0x1FF");

    // Downloaded with the bar moving, then read back into an emptied table.
    Click(1024);
    EXPECT_EQ(sink.Last(), "Set CAN1-ID Filter OK !");
    EXPECT_EQ(module.Snapshot().ports[0].filter.size(), 2u);
    EXPECT_EQ(Find<PercentProgressBar>(1035)->position, 399);
    EXPECT_TRUE(Find<QPushButton>(1024)->isEnabled());
    Click(1031);
    EXPECT_EQ(Rows(), 0);
    Click(1023);
    EXPECT_EQ(sink.Last(), "Get CAN1-ID Filter OK !");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(1, 2), "0x100~0x1FF");

    // Saved as a list file, emptied, loaded back.
    test::TempDir dir;
    nextFile = FileChoice{dir / "session", 0};
    Click(1033);
    EXPECT_EQ(sink.Last(), "File Saved OK !!");
    EXPECT_EQ(asked.back().title, "Save CAN Filter-ID File as ...");
    EXPECT_EQ(asked.back().filters.size(), 2);
    Click(1031);
    nextFile = FileChoice{dir / "session.dat", 0};
    Click(1034);
    EXPECT_EQ(asked.back().title, "Load CAN Filter-ID File ...");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 0), "001");

    // The second file type writes the workbook.
    nextFile = FileChoice{dir / "session", 1};
    Click(1033);
    EXPECT_EQ(sink.Last(), "File Saved OK !!");
    EXPECT_TRUE(std::filesystem::exists(dir / "session.xls"));
}

TEST_F(MainDialogTest, ModeAndOptionChoicesShowInTheControls) {
    Click(1037);
    EXPECT_FALSE(Find(1038)->isEnabled());
    EXPECT_TRUE(Find(1041)->isEnabled());
    EXPECT_EQ(Find<QPushButton>(1023)->text(), "Get CAN Mapping IDs");
    EXPECT_EQ(Find<QTableView>(1022)->model()->headerData(2, Qt::Horizontal).toString(),
              "Mapping IDs");

    Click(1030);  // "Get Module Data"
    EXPECT_FALSE(Find(1028)->isEnabled());
    EXPECT_TRUE(Find(1042)->isEnabled());
    Find<QComboBox>(1042)->setCurrentIndex(2);
    Click(1027);  // "Set Module Data": the value edit takes the focus
    EXPECT_EQ(dialog->State().PendingCommand(), CommandKind::SetListenOnlyCan1);
    EXPECT_TRUE(Find(1028)->hasFocus() || !dialog->isActiveWindow());
    Find<QComboBox>(1012)->setCurrentIndex(1);
    emit Find<QComboBox>(1012)->activated(1);
    EXPECT_EQ(dialog->State().PendingCommand(), CommandKind::SetListenOnlyCan2);
    EXPECT_TRUE(Find<QRadioButton>(1037)->isChecked());  // the list mode stayed

    // Typing in a list's edit field brings back the stored entry.
    Find<QComboBox>(1010)->setEditText("COM9x");
    EXPECT_EQ(Find<QComboBox>(1010)->currentText(), "COM1");
}

TEST_F(MainDialogTest, EnterChangesNothingAndRefusedKeysAreUndone) {
    Type(1015, "8FF");
    EXPECT_EQ(Find<QLineEdit>(1015)->text(), "8F");  // the third key would make 8FF: refused
    QTest::keyClick(Find(1015), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Rows(), 0);
    Type(1015, "G");
    EXPECT_EQ(Find<QLineEdit>(1015)->text(), "");
}

}  // namespace
}  // namespace b6409

namespace b6409 {
namespace {

// Writes the pictures of the README when B6409_SCREENSHOT_DIR names a folder.
TEST_F(MainDialogTest, Screenshots) {
    const QString folder = qEnvironmentVariable("B6409_SCREENSHOT_DIR");
    if (folder.isEmpty()) GTEST_SKIP() << "B6409_SCREENSHOT_DIR is not set";
    dialog->grab().save(folder + "/dialog-start.png");

    for (const char* id : {"100", "2A0", "7E0"}) {
        Type(1015, id);
        Click(1016);
    }
    Type(1019, "300");
    Type(1020, "3FF");
    Click(1021);
    auto* bar = Find<PercentProgressBar>(1035);
    bar->showText = true;
    bar->SetRange(0, 800);
    bar->SetPos(430);
    Find<QPushButton>(1024)->setEnabled(false);
    dialog->grab().save(folder + "/dialog-download.png");
}

}  // namespace
}  // namespace b6409
