#pragma once

#include "networktable.h"

#include <QtGlobal>

#include <array>

// One indicator's five registers of eight bytes. Each byte is held as a 16-bit
// signed integer, as every byte of the tools is; a hand-edited file may put
// any such value there, and the write run refuses to send it.
class IndicatorImage
{
public:
    static constexpr int Registers = 5;
    static constexpr int Bytes = 8;

    qint16 &cell(int reg, int byte) { return m_cells.at(size_t(reg)).at(size_t(byte)); }
    qint16 cell(int reg, int byte) const { return m_cells.at(size_t(reg)).at(size_t(byte)); }

    bool operator==(const IndicatorImage &) const = default;

private:
    std::array<std::array<qint16, Bytes>, Registers> m_cells{};
};

// The settings of all 16 indicators. Indicator n (1..16) is the network's
// indicator n, at bus address IndicatorAddress(n); an index outside 1..16 is
// never used (at() would stop the tool rather than touch memory that is no
// indicator's).
class IndicatorImages
{
public:
    static constexpr int Count = IndicatorCount;

    IndicatorImage &indicator(int n) { return m_images.at(size_t(n - 1)); }
    const IndicatorImage &indicator(int n) const { return m_images.at(size_t(n - 1)); }

    // Register 0 byte 0 of every indicator becomes its own address.
    void fixOwnAddresses()
    {
        for (int n = 1; n <= Count; ++n)
            indicator(n).cell(0, 0) = qint16(IndicatorAddress(n));
    }

    bool operator==(const IndicatorImages &) const = default;

private:
    std::array<IndicatorImage, Count> m_images{};
};
