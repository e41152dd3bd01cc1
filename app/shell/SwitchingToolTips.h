#pragma once

#include "ProgramContext.h"

#include <QString>

// The main window's two switching buttons (continuous transmission, unstable
// readings) change their tool tips with their state. Those texts are looked
// up in section "D4" under keys of their own, with the designed Polish texts
// as defaults, so that a language file lists them whatever the state.
namespace Pomiar::SwitchingToolTips {

struct ToolTip {
    const char* key;
    const char* designed;
};

inline constexpr ToolTip toolTips[] = {
    {"TB_22", "Klinij, aby rozpoczac transmisje ciagla."},
    {"TB_22x", "Kliknij, aby zakonczyc transmisje ciagla."},
    {"TB_23", "Kliknij, aby pobrac dane niestabilne."},
    {"TB_23x", "Kliknij, aby pobrac dane stabilne."},
};

// The tool tip under key ("TB_22", "TB_22x", "TB_23" or "TB_23x").
inline QString Text(const ProgramContext& context, const QString& key) {
    for (const ToolTip& toolTip : toolTips) {
        if (key == QLatin1String(toolTip.key))
            return context.Lang(QStringLiteral("D4"), key, QString::fromUtf8(toolTip.designed));
    }
    return key;
}

} // namespace Pomiar::SwitchingToolTips
