#include "tray/user_locale.h"

#include <windows.h>

#include "tray/text.h"

namespace vantorel {
namespace {

std::string LocaleText(LCTYPE what, const char* fallback) {
    wchar_t buffer[16] = {};
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, what, buffer, 16) == 0) {
        return fallback;
    }
    return Narrow(buffer);
}

}  // namespace

NumberLocale UserNumberLocale() {
    return NumberLocale{LocaleText(LOCALE_SDECIMAL, "."), LocaleText(LOCALE_STHOUSAND, ",")};
}

}  // namespace vantorel
