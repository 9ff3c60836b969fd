#pragma once

namespace b6409::control {

// The main window's controls by their dialog ids. Each control carries its id as its object
// name, and the window prints these numbers when it lists where its controls are (for scripts
// that drive it with a pointer), so a value here never changes.
enum Id : int {
    // The template's hidden default buttons: Enter and Escape reach them.
    Ok = 1,
    Cancel = 2,

    // 1. CAN Device: one radio per device kind, the ports.
    Scv1Radio = 1000,
    Ecv1dRadio = 1001,
    Ucv1Radio = 1002,
    Uhv1Radio = 1003,
    Uhv2Radio = 1004,
    Pcm1Radio = 1005,
    Pcc2Radio = 1006,
    Pcc4Radio = 1007,
    DevPortLabel = 1008,
    CanPortLabel = 1009,
    DevPortList = 1010,
    CanPortList = 1011,

    // 2. CAN-ID Filter / Mapping Setting: the list mode and module port ("CAN Controller").
    FilterModeRadio = 1036,
    MappingModeRadio = 1037,
    FuncTestButton = 1040,  // hidden; Ctrl+Shift+F12 presses it
    ModulePortList = 1012,

    // The single ID box.
    SingleBox = 1038,
    SingleWidth11Radio = 1013,
    SingleWidth29Radio = 1014,
    SingleEdit = 1015,
    AddSingleButton = 1016,

    // The group box: a range in Filter mode, a source and target in Mapping mode.
    GroupBox = 1039,
    GroupWidth11Radio = 1017,
    GroupWidth29Radio = 1018,
    FromEdit = 1019,
    ToEdit = 1020,
    TargetWidth11Radio = 1041,
    TargetWidth29Radio = 1044,
    AddRangeButton = 1021,

    // The ID table and the buttons below it.
    IdListView = 1022,
    SaveFileButton = 1033,
    LoadFileButton = 1034,
    DeleteRowButton = 1032,
    ClearTableButton = 1031,
    GetIdsButton = 1023,
    SetIdsButton = 1024,

    // Config / Info Option.
    GetModInfoRadio = 1025,
    ResetModuleRadio = 1026,
    SetModuleDataRadio = 1027,
    GetModuleDataRadio = 1030,
    OptionValueEdit = 1028,
    OptionSelector = 1042,
    SendButton = 1029,

    ProgressBar = 1035,
};

}  // namespace b6409::control
