#include "platform/dialog_units.h"

#include <QFontMetrics>
#include <QStringList>

namespace platform {
namespace {

// value × numerator ÷ denominator, rounded half away from zero.
int ScaleRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

} // namespace

QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setFamilies(
        QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabetWidth = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth_ = (alphabetWidth / 26 + 1) / 2;
    baseHeight_ = metrics.height();
}

int DialogUnits::ToPixelsX(int units) const {
    return ScaleRounded(units, baseWidth_, 4);
}

int DialogUnits::ToPixelsY(int units) const {
    return ScaleRounded(units, baseHeight_, 8);
}

QRect DialogUnits::ToPixels(QRect units) const {
    return QRect(ToPixelsX(units.x()), ToPixelsY(units.y()), ToPixelsX(units.width()),
                 ToPixelsY(units.height()));
}

QSize DialogUnits::ToPixels(QSize units) const {
    return QSize(ToPixelsX(units.width()), ToPixelsY(units.height()));
}

} // namespace platform
