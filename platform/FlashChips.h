// The flash chips a drive of the family may carry: one row per chip, written once and used by the
// direct flashing sequence and by the emulated IDE machine alike.
//
// Method 1 chips are erased as a whole first and then programmed block-wise (`ProgramBlock`);
// method 0 chips are programmed page by page (`ProgramPage`) and erase each page themselves.
#pragma once

#include <array>
#include <cstdint>

namespace directide {

struct FlashChip {
    uint8_t maker;
    uint8_t device;
    uint8_t method;  // 1: erase first, then program blocks; 0: program pages
    uint32_t size;   // bytes
    const char* name;
};

inline constexpr int kFlashChipRows = 70;
// The last row stands for a chip that matched no other row; the search never matches it.
inline constexpr int kUnknownChipRow = 69;

// clang-format off
inline constexpr std::array<FlashChip, kFlashChipRows> kFlashChips = {{
    {0xBF, 0xD8, 1, 0x100000, "SST(SST39LF/VF080)(+3.3V)"},  // 0
    {0x20, 0xEF, 1, 0x80000, "ST(M29W400BB)(+3.3V)"},  // 1
    {0x37, 0x34, 1, 0x80000, "AMIC(A29L004T)(+3.3V)"},  // 2
    {0x37, 0xB5, 1, 0x80000, "AMIC(A29L004U)(+3.3V)"},  // 3
    {0x37, 0x86, 1, 0x80000, "AMIC(AM29040A)(+5.0V)"},  // 4
    {0x1F, 0x13, 1, 0x80000, "ATMEL(AT49F040)(+5.0V)"},  // 5
    {0x1C, 0x04, 1, 0x80000, "EON(EN29F040)(+5.0V)"},  // 6
    {0x7F, 0xAE, 1, 0x80000, "IMT(IM29F004B)(+5.0V)"},  // 7
    {0x7F, 0xAF, 1, 0x80000, "IMT(IM29F004T)(+5.0V)"},  // 8
    {0xC2, 0xB6, 1, 0x80000, "MXIC(MX29LV004B)(+5.0V)"},  // 9
    {0xC2, 0xB5, 1, 0x80000, "MXIC(MX29LV004T)(+5.0V)"},  // 10
    {0xC2, 0x4F, 1, 0x80000, "MXIC(MX29LV040)(+3.3V)"},  // 11
    {0xC2, 0xA4, 1, 0x80000, "MXIC(MX29F040)(+5.0V)"},  // 12
    {0xBF, 0xD7, 1, 0x80000, "SST(SST39LV/VF040)(+3.3V)"},  // 13
    {0xBF, 0xB7, 1, 0x80000, "SST(SST39SF040)(+5.0V)"},  // 14
    {0xBF, 0x87, 1, 0x80000, "SST(SST39VF040)(+3.3V)"},  // 15
    {0xDA, 0x46, 0, 0x80000, "WINBOND(W29C040)(+5.0V)"},  // 16
    {0x37, 0x8C, 1, 0x40000, "AMIC(A29002L)"},  // 17
    {0x37, 0x0D, 1, 0x40000, "AMIC(A29002U)"},  // 18
    {0x1F, 0x07, 1, 0x40000, "ATMEL(AT49F002(N))"},  // 19
    {0x1F, 0x08, 1, 0x40000, "ATMEL(AT49F002(N)T)"},  // 20
    {0x8C, 0x00, 1, 0x40000, "EFST(F49B002UA)"},  // 21
    {0x1C, 0x92, 1, 0x40000, "EON(EN29F002/EN29F002NT)"},  // 22
    {0x1C, 0x97, 1, 0x40000, "EON(EN29F002/EN29F002NB)"},  // 23
    {0xAD, 0xB0, 1, 0x40000, "HYUNDAI(HY29F002T)"},  // 24
    {0x7F, 0xA1, 1, 0x40000, "IMT(IM29002T)"},  // 25
    {0x7F, 0xA2, 1, 0x40000, "IMT(IM29002B)"},  // 26
    {0x7F, 0xAF, 1, 0x40000, "MOSEL(V29C51002T)/SYNCMOS(F29C51002T)"},  // 27
    {0x40, 0x02, 1, 0x40000, "MOSEL(V29C51002T)/SYNCMOS(F29C51002T)"},  // 28
    {0x40, 0xA2, 1, 0x40000, "MOSEL(V29C51002B)/SYNCMOS(F29C51002B)"},  // 29
    {0xC2, 0xB0, 1, 0x40000, "MXIC(MX29F002T)"},  // 30
    {0xC2, 0x34, 1, 0x40000, "MXIC(MX29F002B)"},  // 31
    {0x9D, 0x1D, 1, 0x40000, "PMC(PM29F002T)"},  // 32
    {0xBF, 0xB6, 1, 0x40000, "SST(SST39SF020)"},  // 33
    {0xBF, 0xD6, 1, 0x40000, "SST(SST39VF020)"},  // 34
    {0xDA, 0x0B, 1, 0x40000, "WIBOND(W49F002U)"},  // 35
    {0xDA, 0x45, 0, 0x40000, "WINBOND(W29C020CP)"},  // 36
    {0xDA, 0xB5, 1, 0x40000, "WINBOND(W39L020)"},  // 37
    {0x01, 0x20, 1, 0x20000, "AMD(AM29F010)/NEX(NX29F010)"},  // 38
    {0x01, 0xED, 1, 0x20000, "AMD(AM29LV001BT)"},  // 39
    {0x01, 0x6D, 1, 0x20000, "AMD(AM29LV001BB)"},  // 40
    {0x9D, 0x1C, 1, 0x20000, "PMC(PM39LV010R)"},  // 41
    {0x37, 0xA1, 1, 0x20000, "AMIC(A29001/290011)"},  // 42
    {0x37, 0x4C, 1, 0x20000, "AMIC(A29001/290011U)"},  // 43
    {0x1F, 0xD5, 0, 0x20000, "ATMEL(AT29C010A)"},  // 44
    {0x1F, 0x05, 1, 0x20000, "ATMEL(AT49F001N)"},  // 45
    {0x1F, 0x04, 1, 0x20000, "ATMEL(AT49F001NT)"},  // 46
    {0x40, 0x01, 1, 0x20000, "MOSEL(V29C51001T)/SYNCMOS((F29C51001T)"},  // 47
    {0x40, 0xA1, 1, 0x20000, "MOSEL(V29C51001B)/SYNCMOS((F29C51001B)"},  // 48
    {0xC2, 0x18, 1, 0x20000, "MXIC(MX29F001T)"},  // 49
    {0xC2, 0x19, 1, 0x20000, "MXIC(MX29F001B)"},  // 50
    {0xBF, 0x01, 1, 0x20000, "SST(SST27SF010)"},  // 51
    {0xBF, 0x07, 0, 0x20000, "SST(SST29EE010)"},  // 52
    {0xBF, 0xD5, 1, 0x20000, "SST(SST39VF010)"},  // 53
    {0xBF, 0xB5, 1, 0x20000, "SST(SST39SF010)"},  // 54
    {0x7F, 0xA0, 1, 0x20000, "IMT(IM29001T)"},  // 55
    {0x7F, 0xA3, 1, 0x20000, "IMT(IM29001B)"},  // 56
    {0xDA, 0xC1, 0, 0x20000, "WINBOND(W29C011A)"},  // 57
    {0xDA, 0x06, 0, 0x20000, "WINBOND(W29EE011P)"},  // 58
    {0xDA, 0xA1, 1, 0x20000, "WINBOND(W39F010)"},  // 59
    {0x20, 0x20, 1, 0x20000, "ST (M29F010B)"},  // 60
    {0x1F, 0x03, 1, 0x10000, "ATMEL(AT49F512)"},  // 61
    {0x1F, 0x5D, 0, 0x10000, "ATMEL(AT29C512)"},  // 62
    {0x1F, 0x3D, 0, 0x10000, "ATMEL(AT29LV512)"},  // 63
    {0xC2, 0x17, 1, 0x10000, "MXIC(MX29F512T)"},  // 64
    {0xBF, 0x5D, 0, 0x10000, "SST(SST29EE512)"},  // 65
    {0xBF, 0xB4, 1, 0x10000, "SST(SST39SF512)"},  // 66
    {0xBF, 0xD4, 1, 0x10000, "SST(SST39VF512)"},  // 67
    {0xDA, 0xC8, 0, 0x10000, "WINBOND(W29C512A/W29EE512)"},  // 68
    {0xFF, 0xFF, 0, 0x80000, "Unknown Flash Memory"},  // 69
}};
// clang-format on

// The first row (0 to 68) whose maker and device codes equal the given ones; 69 when none does.
constexpr int FindFlashChip(uint8_t maker, uint8_t device) {
    for (int row = 0; row < kUnknownChipRow; ++row) {
        if (kFlashChips[row].maker == maker && kFlashChips[row].device == device) return row;
    }
    return kUnknownChipRow;
}

static_assert(FindFlashChip(0xBF, 0xD8) == 0);
static_assert(FindFlashChip(0xFF, 0xFF) == kUnknownChipRow);

}  // namespace directide
