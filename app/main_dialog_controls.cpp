// The main window's widgets: one builder per group box, called in the order the controls take
// the focus. Each control gets its dialog id as its object name.
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <utility>

#include "app/control_ids.h"
#include "app/group_box_style.h"
#include "app/id_table_model.h"
#include "app/id_table_view.h"
#include "app/main_dialog.h"
#include "controls/color_radio_button.h"
#include "controls/cxp_button.h"
#include "controls/percent_progress_bar.h"

namespace b6409 {

namespace {

template <typename Widget>
Widget* WithId(Widget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

// The fixed window holds a lot: boxes get narrow margins so the ID table keeps its room.
template <typename Layout>
Layout* Tight(Layout* layout) {
    layout->setContentsMargins(6, 3, 6, 3);
    layout->setSpacing(4);
    return layout;
}

// One style object for the group boxes of every window, kept until the application ends: a
// widget's style must outlive the widget.
GroupBoxStyle& GroupBoxLook() {
    static GroupBoxStyle* style = [] {
        auto* made = new GroupBoxStyle;
        made->setParent(QCoreApplication::instance());
        return made;
    }();
    return *style;
}

}  // namespace

void MainDialog::BuildControls() {
    auto* layout = Tight(new QVBoxLayout(this));
    QGroupBox* deviceBox = BuildDeviceBox();
    layout->addWidget(deviceBox);
    layout->addWidget(BuildListBox(), 1);
    QGroupBox* optionBox = BuildOptionBox();
    layout->addWidget(optionBox);
    layout->addWidget(BuildProgressBar());

    for (QGroupBox* box : findChildren<QGroupBox*>()) box->setStyle(&GroupBoxLook());

    // The template's default OK and Cancel buttons, hidden: Enter and Escape reach them.
    for (auto [id, caption] :
         {std::pair{control::Ok, "確定"}, std::pair{control::Cancel, "取消"}}) {
        auto* button = WithId(new QPushButton(caption, this), id);
        button->hide();
    }

    lockedDuringDownload_ = {deviceBox,  listModeRadios_[0], listModeRadios_[1], modulePortList_,
                             singleBox_, groupBox_,          tableView_,         optionBox,
                             getButton_, modulePortLabel_};
    // The hidden test action too: its shortcut would refill the table a download is reading.
    for (int id : {control::ClearTableButton, control::DeleteRowButton, control::SaveFileButton,
                   control::LoadFileButton, control::FuncTestButton})
        lockedDuringDownload_.push_back(Control(id));

    // The About entry: the window manager owns the title bar's menu here, so the dialog offers
    // the entry in its own context menu (and on Alt+A-less keyboards via the menu key).
    setContextMenuPolicy(Qt::DefaultContextMenu);
    // The hidden test action has no visible control; a developer reaches it from the keyboard.
    auto* funcTestKey = new QShortcut(QKeySequence("Ctrl+Shift+F12"), this);
    connect(funcTestKey, &QShortcut::activated,
            static_cast<QPushButton*>(Control(control::FuncTestButton)), &QPushButton::click);
}

// 1. The PC-side interface and its ports.
QGroupBox* MainDialog::BuildDeviceBox() {
    auto* deviceBox = new QGroupBox("1. CAN Device :", this);
    auto* deviceGrid = Tight(new QGridLayout(deviceBox));
    auto* deviceGroup = new QButtonGroup(this);
    const struct {
        DeviceKind kind;
        int row, column;
    } placements[] = {
        {DeviceKind::Scv1, 0, 1}, {DeviceKind::Ecv1d, 0, 3}, {DeviceKind::Ucv1, 1, 1},
        {DeviceKind::Uhv1, 1, 2}, {DeviceKind::Uhv2, 1, 3},  {DeviceKind::Pcm1, 2, 1},
        {DeviceKind::Pcc2, 2, 2}, {DeviceKind::Pcc4, 2, 3},
    };
    deviceGrid->addWidget(new QLabel("(1) RS232 to CAN : "), 0, 0);
    deviceGrid->addWidget(new QLabel("(2) Ethernet to CAN :"), 0, 2, Qt::AlignRight);
    deviceGrid->addWidget(new QLabel("(3) USB to CAN : "), 1, 0);
    deviceGrid->addWidget(new QLabel("(4) CAN Card: "), 2, 0);
    for (const auto& place : placements) {
        const DeviceKindInfo& info = InfoOf(place.kind);
        auto* radio = WithId(new ColorRadioButton(info.caption), info.radioControlId);
        deviceGroup->addButton(radio, static_cast<int>(place.kind));
        deviceGrid->addWidget(radio, place.row, place.column);
        deviceRadios_.push_back(radio);
    }
    devPortLabel_ = WithId(new QLabel("Dev_Port : "), control::DevPortLabel);
    devPortList_ = WithId(new QComboBox, control::DevPortList);
    canPortList_ = WithId(new QComboBox, control::CanPortList);
    for (QComboBox* list : {devPortList_, canPortList_}) {
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
    }
    deviceGrid->addWidget(devPortLabel_, 3, 0);
    deviceGrid->addWidget(devPortList_, 3, 1);
    deviceGrid->addWidget(WithId(new QLabel("CAN_Port : "), control::CanPortLabel), 3, 2,
                          Qt::AlignRight);
    deviceGrid->addWidget(canPortList_, 3, 3);
    return deviceBox;
}

// 2. The ID table and its editor.
QGroupBox* MainDialog::BuildListBox() {
    auto* listBox = new QGroupBox("2. CAN-ID Filter / Mapping Setting", this);
    auto* listLayout = Tight(new QVBoxLayout(listBox));
    listLayout->addLayout(BuildListModeRow());
    listLayout->addWidget(BuildSingleBox());
    listLayout->addWidget(BuildGroupBox());
    listLayout->addWidget(BuildIdTable(), 1);

    auto* fileRow = new QHBoxLayout;
    for (auto [id, caption] : {std::pair{control::SaveFileButton, "Save File"},
                               std::pair{control::LoadFileButton, "Load File"},
                               std::pair{control::DeleteRowButton, "Delete Row"},
                               std::pair{control::ClearTableButton, "Clear Table"}})
        fileRow->addWidget(WithId(new CXPButton(caption), id));
    listLayout->addLayout(fileRow);
    auto* transferRow = new QHBoxLayout;
    getButton_ = WithId(new CXPButton("Get CAN Accepted IDs"), control::GetIdsButton);
    setButton_ = WithId(new CXPButton("Set CAN Accepted IDs"), control::SetIdsButton);
    transferRow->addWidget(getButton_);
    transferRow->addWidget(setButton_);
    listLayout->addLayout(transferRow);
    return listBox;
}

// The list mode, the hidden test button and the module port the lists go to.
QHBoxLayout* MainDialog::BuildListModeRow() {
    auto* modeRow = new QHBoxLayout;
    auto* modeGroup = new QButtonGroup(this);
    for (auto [id, caption] : {std::pair{control::FilterModeRadio, "CAN-ID Filter"},
                               std::pair{control::MappingModeRadio, "CAN-ID Mapping"}}) {
        auto* radio = WithId(new ColorRadioButton(caption), id);
        modeGroup->addButton(radio, id);
        modeRow->addWidget(radio);
        listModeRadios_.push_back(radio);
    }
    auto* funcTest = WithId(new QPushButton("FuncTest"), control::FuncTestButton);
    funcTest->hide();
    modeRow->addWidget(funcTest);
    modeRow->addStretch();
    modulePortLabel_ = new QLabel("CAN Controller");
    modeRow->addWidget(modulePortLabel_);
    modulePortList_ = WithId(new QComboBox, control::ModulePortList);
    modulePortList_->setEditable(true);
    modulePortList_->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& entry : MainWindowState::ModulePortEntries())
        modulePortList_->addItem(QString::fromStdString(entry));
    modeRow->addWidget(modulePortList_);
    return modeRow;
}

void MainDialog::AddWidthPair(QBoxLayout* row, int width11Id, int width29Id) {
    auto* group = new QButtonGroup(this);
    for (int id : {width11Id, width29Id}) {
        auto* radio = WithId(new QRadioButton(id == width11Id ? "11-bit" : "29-bit"), id);
        group->addButton(radio, id);
        row->addWidget(radio);
    }
    connect(group, &QButtonGroup::idClicked, this, [this](int id) {
        state_.Editor().ClickWidthRadio(static_cast<WidthRadio>(id));
        ShowEdits();
    });
}

QGroupBox* MainDialog::BuildSingleBox() {
    singleBox_ = WithId(new QGroupBox("Single ID (HEX)"), control::SingleBox);
    auto* singleRow = Tight(new QHBoxLayout(singleBox_));
    AddWidthPair(singleRow, control::SingleWidth11Radio, control::SingleWidth29Radio);
    singleEdit_ = WithId(new QLineEdit, control::SingleEdit);
    singleRow->addWidget(singleEdit_);
    auto* addSingle = WithId(new CXPButton("Add"), control::AddSingleButton);
    singleRow->addWidget(addSingle);
    return singleBox_;
}

QGroupBox* MainDialog::BuildGroupBox() {
    groupBox_ = WithId(new QGroupBox("Group ID (HEX)"), control::GroupBox);
    auto* groupGrid = Tight(new QVBoxLayout(groupBox_));
    auto* rangeRow = new QHBoxLayout;
    AddWidthPair(rangeRow, control::GroupWidth11Radio, control::GroupWidth29Radio);
    fromEdit_ = WithId(new QLineEdit, control::FromEdit);
    toEdit_ = WithId(new QLineEdit, control::ToEdit);
    rangeRow->addWidget(fromEdit_);
    rangeRow->addWidget(new QLabel("To"));
    rangeRow->addWidget(toEdit_);
    groupGrid->addLayout(rangeRow);
    auto* targetRow = new QHBoxLayout;
    targetRow->addStretch();
    AddWidthPair(targetRow, control::TargetWidth11Radio, control::TargetWidth29Radio);
    auto* addRange = WithId(new CXPButton("Add"), control::AddRangeButton);
    targetRow->addWidget(addRange);
    groupGrid->addLayout(targetRow);
    return groupBox_;
}

QTableView* MainDialog::BuildIdTable() {
    tableModel_ = new IdTableModel(state_.Table(), this);
    tableView_ = WithId(new IdTableView, control::IdListView);
    tableView_->setModel(tableModel_);
    tableView_->setShowGrid(true);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->verticalHeader()->hide();
    tableView_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    tableView_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    // The header beyond the last column is drawn in the window colour, which would show the
    // dialog's beige as a gap in the white list: it takes the colour of the header's sections.
    QPalette headerPalette = tableView_->horizontalHeader()->palette();
    headerPalette.setColor(QPalette::Window, headerPalette.color(QPalette::Button));
    tableView_->horizontalHeader()->setPalette(headerPalette);
    tableView_->setColumnWidth(0, 34);
    tableView_->setColumnWidth(1, 100);
    tableView_->setColumnWidth(2, kIdColumnWidth);
    return tableView_;
}

// Configuration options.
QGroupBox* MainDialog::BuildOptionBox() {
    auto* optionBox = new QGroupBox("Config / Info Option", this);
    auto* optionLayout = Tight(new QVBoxLayout(optionBox));
    auto* optionRow = new QHBoxLayout;
    auto* optionGroup = new QButtonGroup(this);
    for (auto [id, caption] : {std::pair{control::GetModInfoRadio, "Get ModInfo"},
                               std::pair{control::ResetModuleRadio, "Reset Module"},
                               std::pair{control::SetModuleDataRadio, "Set Module Data"},
                               std::pair{control::GetModuleDataRadio, "Get Module Data"}}) {
        auto* radio = WithId(new ColorRadioButton(caption), id);
        optionGroup->addButton(radio, id);
        optionRow->addWidget(radio);
        optionRadios_.push_back(radio);
    }
    optionLayout->addLayout(optionRow);
    auto* valueRow = new QHBoxLayout;
    optionValueEdit_ = WithId(new QLineEdit, control::OptionValueEdit);
    optionSelector_ = WithId(new QComboBox, control::OptionSelector);
    for (const auto& entry : MainWindowState::OptionEntries())
        optionSelector_->addItem(QString::fromStdString(entry));
    sendButton_ = WithId(new CXPButton("Send"), control::SendButton);
    valueRow->addWidget(optionValueEdit_);
    valueRow->addWidget(optionSelector_, 1);
    valueRow->addWidget(sendButton_);
    optionLayout->addLayout(valueRow);
    return optionBox;
}

// The bar paints all of its face; the border around it belongs to the window.
QFrame* MainDialog::BuildProgressBar() {
    auto* barFrame = new QFrame(this);
    barFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    barFrame->setLineWidth(1);
    auto* barLayout = new QVBoxLayout(barFrame);
    barLayout->setContentsMargins(1, 1, 1, 1);
    progressBar_ = WithId(new PercentProgressBar, control::ProgressBar);
    progressBar_->setFixedHeight(fontMetrics().height() + 6);
    progressSink_ = std::make_unique<ProgressBarSink>(*progressBar_);
    barLayout->addWidget(progressBar_);
    return barFrame;
}

}  // namespace b6409
