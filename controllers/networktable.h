#pragma once

#include <QStringView>

#include <array>
#include <optional>

// The controllers on the bus, in one table: the address each answers to, its
// kind, its registers of eight bytes, and the names the tools give it. A tool
// that leaves a controller out has no name for it. A new controller is one
// row here; the tools take it from the table.

enum class ControllerKind
{
    Board,        // universal controller
    Indicator,    // clock display
    Keys,         // keyboard controller
    Synchroniser, // system controller
    Announcer,    // voice announcer
    Telephone,    // telephone and SMS controller
};

// The slot the system loader gives a controller: the object name and the
// caption of its check box, the header of its block in the image file (the
// address follows it), and where the box stands in the window's grid. No box
// name: the loader does not know the controller.
struct SysloadSlot
{
    QStringView checkBox;
    QStringView caption;
    QStringView header;
    int gridRow;
    int gridColumn;
};

struct ControllerRow
{
    int address; // BusAddress
    ControllerKind kind;
    int registerCount;    // bus register numbers 0 .. count - 1
    QStringView busprobe; // the entry of busprobe's controller list; empty: not listed
    SysloadSlot sysload;
};

namespace ControllerHeaders {
// The loader's file headers keep two blanks after "Адрес" and end in " - ".
inline constexpr QStringView Board = u"Адрес  универсального контроллера - ";
inline constexpr QStringView Indicator = u"Адрес  контроллера индикатора - ";
inline constexpr QStringView Keys = u"Адрес  контроллера клавиатурного - ";
inline constexpr QStringView Synchroniser = u"Адрес  контроллера системного - ";
inline constexpr QStringView Announcer = u"Адрес  контроллера говорилки - ";
inline constexpr QStringView Telephone = u"Адрес  контроллера СМС - ";
} // namespace ControllerHeaders

// Every controller of the house, in bus order. busprobe lists the boards, the
// first four indicators and the four single controllers; the last letter of
// its "говорилка 9С" is the Cyrillic capital Es. The loader knows the boards,
// the first eight indicators and the four single controllers: boards down the
// left of its grid, indicators down the right, then 90 and 98, then 9C and 9D.
inline constexpr auto NetworkTable = [] {
    using enum ControllerKind;
    namespace H = ControllerHeaders;
    // clang-format off
    return std::to_array<ControllerRow>({
        {0x00, Board, 60, u"плата 0", {u"adr_00", u"контроллер адрес $00", H::Board, 0, 0}},
        {0x01, Board, 60, u"плата 1", {u"adr_01", u"контроллер адрес $01", H::Board, 1, 0}},
        {0x02, Board, 60, u"плата 2", {u"adr_02", u"контроллер адрес $02", H::Board, 2, 0}},
        {0x03, Board, 60, u"плата 3", {u"adr_03", u"контроллер адрес $03", H::Board, 3, 0}},
        {0x04, Board, 60, u"плата 4", {u"adr_04", u"контроллер адрес $04", H::Board, 4, 0}},
        {0x05, Board, 60, u"плата 5", {u"adr_05", u"контроллер адрес $05", H::Board, 5, 0}},
        {0x06, Board, 60, u"плата 6", {u"adr_06", u"контроллер адрес $06", H::Board, 6, 0}},
        {0x07, Board, 60, u"плата 7", {u"adr_07", u"контроллер адрес $07", H::Board, 7, 0}},
        {0x80, Indicator, 9, u"индикатор 80", {u"adr_80", u"индикатор часовой $80", H::Indicator, 0, 1}},
        {0x81, Indicator, 9, u"индикатор 81", {u"adr_81", u"индикатор часовой $81", H::Indicator, 1, 1}},
        {0x82, Indicator, 9, u"индикатор 82", {u"adr_82", u"индикатор часовой $82", H::Indicator, 2, 1}},
        {0x83, Indicator, 9, u"индикатор 83", {u"adr_83", u"индикатор часовой $83", H::Indicator, 3, 1}},
        {0x84, Indicator, 9, {}, {u"adr_84", u"индикатор часовой $84", H::Indicator, 4, 1}},
        {0x85, Indicator, 9, {}, {u"adr_85", u"индикатор часовой $85", H::Indicator, 5, 1}},
        {0x86, Indicator, 9, {}, {u"adr_86", u"индикатор часовой $86", H::Indicator, 6, 1}},
        {0x87, Indicator, 9, {}, {u"adr_87", u"индикатор часовой $87", H::Indicator, 7, 1}},
        {0x88, Indicator, 9, {}, {}},
        {0x89, Indicator, 9, {}, {}},
        {0x8A, Indicator, 9, {}, {}},
        {0x8B, Indicator, 9, {}, {}},
        {0x8C, Indicator, 9, {}, {}},
        {0x8D, Indicator, 9, {}, {}},
        {0x8E, Indicator, 9, {}, {}},
        {0x8F, Indicator, 9, {}, {}},
        {0x90, Keys, 60, u"клавиши 90", {u"adr_90", u"клавиатурный $90", H::Keys, 8, 0}},
        {0x98, Synchroniser, 54, u"синхронизатор 98", {u"adr_98", u"системный $98", H::Synchroniser, 8, 1}},
        {0x9C, Announcer, 24, u"говорилка 9С", {u"adr_9c", u"говорилка $9C", H::Announcer, 9, 0}},
        {0x9D, Telephone, 54, u"телефон 9D", {u"adr_9d", u"контроллер SMS $9D", H::Telephone, 9, 1}},
    });
    // clang-format on
}();

// The row of the controller at an address; null for an address no controller
// has (10, the synchronisation address, among them).
constexpr const ControllerRow *FindController(int address)
{
    for (const ControllerRow &row : NetworkTable)
        if (row.address == address)
            return &row;
    return nullptr;
}

// The controllers of a kind, numbered from 1 in bus order: how many there
// are, the address of number n (1 .. CountOf(kind); -1 for any other n), and
// the number of the one at an address (empty when the address is no
// controller of the kind).
constexpr int CountOf(ControllerKind kind)
{
    int count = 0;
    for (const ControllerRow &row : NetworkTable)
        count += row.kind == kind;
    return count;
}

constexpr int AddressOf(ControllerKind kind, int n)
{
    for (const ControllerRow &row : NetworkTable)
        if (row.kind == kind && --n == 0)
            return row.address;
    return -1;
}

constexpr std::optional<int> NumberOf(ControllerKind kind, int address)
{
    int n = 0;
    for (const ControllerRow &row : NetworkTable) {
        n += row.kind == kind;
        if (row.address == address)
            return row.kind == kind ? std::optional<int>(n) : std::nullopt;
    }
    return std::nullopt;
}

// The announcer whose scenarios voxbook programs.
inline constexpr int AnnouncerAddress = AddressOf(ControllerKind::Announcer, 1);

// The indicators lumbook programs, indicator 1 being the first on the bus.
inline constexpr int IndicatorCount = CountOf(ControllerKind::Indicator);
constexpr int IndicatorAddress(int n)
{
    return AddressOf(ControllerKind::Indicator, n);
}
constexpr std::optional<int> IndicatorNumber(int address)
{
    return NumberOf(ControllerKind::Indicator, address);
}
