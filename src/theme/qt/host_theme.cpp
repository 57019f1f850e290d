#include "theme/qt/host_theme.h"

#include "theme/qt/settings_store.h"

#include <QSettings>
#include <cmath>
#include <limits>

namespace {

struct Key {
    const char* name;
    int32_t HostTheme::*field;
};

constexpr Key kKeys[] = {
    {"Shine_Color", &HostTheme::Shine_Color},
    {"Shadow_Color", &HostTheme::Shadow_Color},
    {"Half_Shine_Color", &HostTheme::Half_Shine_Color},
    {"Half_Shadow_Color", &HostTheme::Half_Shadow_Color},
    {"Button_Fill_Color", &HostTheme::Button_Fill_Color},
    {"Scroll_Fill_Color", &HostTheme::Scroll_Fill_Color},
    {"Scroll_Bar_Color", &HostTheme::Scroll_Bar_Color},
    {"Tab_Highlight_Color", &HostTheme::Tab_Highlight_Color},
    {"Ruler_Color", &HostTheme::Ruler_Color},
    {"Textbox_Fill_Color", &HostTheme::Textbox_Fill_Color},
    {"Textbox_Text_Color", &HostTheme::Textbox_Text_Color},
    {"Special_Backdrop_Color", &HostTheme::Special_Backdrop_Color},
    {"Special_Tool_Color", &HostTheme::Special_Tool_Color},
    {"Special_Setting_Color", &HostTheme::Special_Setting_Color},
    {"Special_Action_Color", &HostTheme::Special_Action_Color},
    {"Borderless_Buttons", &HostTheme::Borderless_Buttons},
    {"Borderless_Scrollers", &HostTheme::Borderless_Scrollers},
    {"Borderless_Strings", &HostTheme::Borderless_Strings},
    {"Borderless_Tabs", &HostTheme::Borderless_Tabs},
};

// Decimal text to a 32-bit integer; fractions round half to even. Anything else, and numbers
// beyond 32 bits, keep the fallback.
int32_t ParseSetting(const QString& text, int32_t fallback) {
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong whole = t.toLongLong(&ok, 10);
    if (ok) {
        if (whole < std::numeric_limits<int32_t>::min() ||
            whole > std::numeric_limits<int32_t>::max())
            return fallback;
        return static_cast<int32_t>(whole);
    }
    const double real = t.toDouble(&ok);
    if (!ok || !std::isfinite(real)) return fallback;
    const double r = std::nearbyint(real);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        return fallback;
    return static_cast<int32_t>(r);
}

}  // namespace

QString HostThemeStorePath() {
    return SettingsStorePath(QSettings::IniFormat, QStringLiteral("tarnwick"));
}

HostTheme ReadHostTheme() {
    const std::unique_ptr<QSettings> store =
        OpenSettingsStore(QSettings::IniFormat, QStringLiteral("tarnwick"));
    return store ? ReadHostTheme(*store) : HostTheme{};
}

HostTheme ReadHostTheme(QSettings& store) {
    HostTheme theme;
    store.beginGroup("Startup");
    for (const Key& key : kKeys) {
        const QVariant v = store.value(key.name);
        // A list (a value with commas) or any other non-text value is not a number.
        if (v.isValid() && v.canConvert<QString>() && v.typeId() != QMetaType::QStringList)
            theme.*key.field = ParseSetting(v.toString(), theme.*key.field);
    }
    store.endGroup();
    return theme;
}
