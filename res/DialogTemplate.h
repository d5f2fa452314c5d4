// Dialog templates as data: every control with its ID, kind, text, position
// and size in dialog units, and styles. Dialog units become pixels through
// the template font's average character size ("base units"): x * baseX / 4
// and y * baseY / 8, rounded half away from zero.
#pragma once

#include <QRect>

#include <cstdint>
#include <span>
#include <string_view>

enum class ControlKind {
    RadioButton,
    PushButton,
    OwnerDrawButton,
    IconButton,
    StaticText,
    SerialControl
};

enum ControlStyle : unsigned {
    TabStop = 1u << 0,
    Group = 1u << 1,
    CenterText = 1u << 2,
    LeftVCenterText = 1u << 3,
    ExTransparent = 1u << 4,
    ExRightAligned = 1u << 5,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string_view text; // UTF-8
    int x, y, cx, cy;      // dialog units
    unsigned style;
};

struct DialogTemplate {
    static constexpr int kStaticId = -1; // text nobody reaches by ID

    int id;
    std::string_view caption;
    int cx, cy; // client area, dialog units
    int pointSize;
    int baseX, baseY; // average character width and height of the font, pixels
    std::span<const ControlTemplate> controls;

    static constexpr int MulDiv(int value, int numerator, int denominator)
    {
        const std::int64_t product = std::int64_t(value) * numerator;
        const std::int64_t half = denominator / 2;
        return int(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
    }
    constexpr int ToPixelsX(int units) const { return MulDiv(units, baseX, 4); }
    constexpr int ToPixelsY(int units) const { return MulDiv(units, baseY, 8); }
    constexpr QSize ClientSize() const { return {ToPixelsX(cx), ToPixelsY(cy)}; }
    constexpr QRect ToPixels(const ControlTemplate& c) const
    {
        return {ToPixelsX(c.x), ToPixelsY(c.y), ToPixelsX(c.cx), ToPixelsY(c.cy)};
    }
    // No two controls share an ID, static texts (ID -1) aside: a dialog
    // reaches its controls by ID, and a second one would hide the first.
    constexpr bool HasUniqueIds() const
    {
        for (std::size_t i = 0; i < controls.size(); ++i)
            for (std::size_t j = i + 1; j < controls.size(); ++j)
                if (controls[i].id == controls[j].id && controls[i].id != kStaticId)
                    return false;
        return true;
    }
    // Whether a control has this ID; for checks at compile time, where
    // comparing Find()'s pointer is not a constant expression under UBSan.
    constexpr bool Has(int controlId) const
    {
        for (const auto& c : controls)
            if (c.id == controlId)
                return true;
        return false;
    }
    constexpr const ControlTemplate* Find(int controlId) const
    {
        for (const auto& c : controls)
            if (c.id == controlId)
                return &c;
        return nullptr;
    }
};
