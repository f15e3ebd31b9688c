#include "tests/fuzz/reference.h"

#include <clocale>
#include <cstdlib>

namespace fuzz_reference {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text) {
    for (const char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

// glibc's strtod is correctly rounded for any number of digits and saturates to infinity;
// the "C" locale fixes '.' as its decimal point whatever the process locale is.
double ParseC(const std::string& text) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    char* end = nullptr;
    const double value = strtod_l(text.c_str(), &end, c);
    if (end != text.c_str() + text.size()) {
        std::abort();  // the callers only pass what strtod reads whole
    }
    return value;
}

// The lenient rule's accepted prefix, blanks dropped: sign, digits with at most one '.',
// and an exponent only when it has digits. Empty when no digit came before the stop.
std::string LenientPrefix(std::string_view text) {
    std::string s;
    for (const char c : text) {
        // Blanks, tabs and line feeds are skipped wherever they stand, so dropping them all
        // first leaves the same number.
        if (c != ' ' && c != '\t' && c != '\n') {
            s += c;
        }
    }
    std::size_t i = 0;
    std::string out;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        out += s[i++];
    }
    bool point = false;
    std::size_t digits = 0;
    for (; i < s.size(); ++i) {
        if (IsDigit(s[i])) {
            ++digits;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
        out += s[i];
    }
    if (digits == 0) {
        return {};
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent += s[j++];
        }
        const std::size_t first = j;
        while (j < s.size() && IsDigit(s[j])) {
            exponent += s[j++];
        }
        if (j > first) {
            out += exponent;
        }
    }
    return out;
}

double Lenient(std::string_view text) {
    const std::string prefix = LenientPrefix(text);
    return prefix.empty() ? 0.0 : ParseC(prefix);
}

// The strict rule: after blanks at both ends, [sign] integer [decimal fraction] [exponent],
// the integer either plain digits or 1 to 3 digits then groups of exactly three, at least one
// digit in the integer or the fraction. Gives the text strtod reads, or no value.
std::optional<std::string> StrictCanonical(std::string_view text, std::string_view decimal,
                                           std::string_view grouping) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    std::string out;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        out += text.front();
        text.remove_prefix(1);
    }

    std::string_view mantissa = text;
    std::string_view exponent;
    bool hasExponent = false;
    // Neither separator of the locales fuzzed holds an 'e', so the first one starts the exponent.
    if (const std::size_t e = text.find_first_of("eE"); e != std::string_view::npos) {
        mantissa = text.substr(0, e);
        exponent = text.substr(e + 1);
        hasExponent = true;
    }

    std::string_view integer = mantissa;
    std::string_view fraction;
    if (const std::size_t d = mantissa.find(decimal); d != std::string_view::npos) {
        integer = mantissa.substr(0, d);
        fraction = mantissa.substr(d + decimal.size());
    }
    if (!AllDigits(fraction)) {
        return std::nullopt;
    }

    std::string integerDigits;
    if (AllDigits(integer)) {
        integerDigits = integer;
    } else {
        if (grouping.empty() || grouping == decimal) {
            return std::nullopt;
        }
        std::size_t pieces = 0;
        for (std::string_view rest = integer;; ++pieces) {
            const std::size_t g = rest.find(grouping);
            const std::string_view piece = rest.substr(0, g);
            const bool sizeOk =
                pieces == 0 ? (!piece.empty() && piece.size() <= 3) : piece.size() == 3;
            if (!sizeOk || !AllDigits(piece)) {
                return std::nullopt;
            }
            integerDigits += piece;
            if (g == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(g + grouping.size());
        }
    }
    if (integerDigits.empty() && fraction.empty()) {
        return std::nullopt;
    }
    out += integerDigits;
    out += '.';
    out += fraction;

    if (hasExponent) {
        std::string_view digits = exponent;
        if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
            digits.remove_prefix(1);
        }
        if (digits.empty() || !AllDigits(digits)) {
            return std::nullopt;
        }
        out += 'e';
        out += exponent;
    }
    return out;
}

std::optional<double> Strict(std::string_view text, std::string_view decimal,
                             std::string_view grouping) {
    const std::optional<std::string> canonical = StrictCanonical(text, decimal, grouping);
    if (!canonical) {
        return std::nullopt;
    }
    const double value = ParseC(*canonical);
    if (value - value != 0.0) {  // infinite: too large for a double
        return std::nullopt;
    }
    return value;
}

// The first delimited field, read as a small state machine over the characters.
std::optional<std::string_view> StateField(std::string_view text) {
    enum class State { Blanks, Quoted, Plain };
    State state = State::Blanks;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (state) {
            case State::Blanks:
                if (c == ' ') {
                    continue;
                }
                if (c == '"') {
                    state = State::Quoted;
                    start = i + 1;
                    continue;
                }
                state = State::Plain;
                start = i;
                [[fallthrough]];
            case State::Plain:
                if (c == ',' || c == '\r') {
                    return text.substr(start, i - start);
                }
                break;
            case State::Quoted:
                if (c == '"') {
                    return text.substr(start, i - start);
                }
                break;
        }
    }
    switch (state) {
        case State::Blanks:
            return std::string_view{};
        case State::Quoted:
            return std::nullopt;  // no closing quote
        case State::Plain:
            break;
    }
    return text.substr(start);
}

// The seven characters after the field's first "prog=", read leniently; finite or no value.
std::optional<double> StateProgress(std::string_view text) {
    const std::optional<std::string_view> field = StateField(text);
    if (!field) {
        return std::nullopt;
    }
    constexpr std::string_view tag = "prog=";
    for (std::size_t i = 0; i + tag.size() <= field->size(); ++i) {
        if ((*field)[i] == 'p' && field->substr(i, tag.size()) == tag) {
            const double value = Lenient(field->substr(i + tag.size(), 7));
            if (value - value != 0.0) {
                return std::nullopt;
            }
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace fuzz_reference
