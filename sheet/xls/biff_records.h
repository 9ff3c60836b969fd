#pragma once

#include <cstddef>
#include <cstdint>

// The BIFF8 record types and fixed values that the workbook reader and writer share.
namespace b6409::xls {

enum : uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kNote = 0x001C,
    kDate1904 = 0x0022,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kWindow1 = 0x003D,
    kCodePage = 0x0042,
    kObj = 0x005D,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kExtSst = 0x00FF,
    kHyperlink = 0x01B8,
    kTextObject = 0x01B6,
    kDimensions = 0x0200,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kArray = 0x0221,
    kFont = 0x0031,
    kTable = 0x0236,
    kWindow2 = 0x023E,
    kRk = 0x027E,
    kStyle = 0x0293,
    kSharedFormula = 0x04BC,
    kXf = 0x00E0,
    kBof = 0x0809,
};

inline constexpr uint16_t kBiff8 = 0x0600;
// The kinds of part a BOF record opens.
inline constexpr uint16_t kGlobalsBof = 0x0005;
inline constexpr uint16_t kWorksheetBof = 0x0010;
// Longer content goes on in CONTINUE records.
inline constexpr size_t kMaxRecordPayload = 8224;
// The cell format every written cell uses.
inline constexpr uint16_t kCellXf = 15;

}  // namespace b6409::xls
