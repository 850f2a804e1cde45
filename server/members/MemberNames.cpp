#include "members/MemberNames.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uspoof.h>
#include <unicode/utf8.h>

#include <cstdio>
#include <memory>

namespace appserver {
namespace {

std::string codePointText(UChar32 c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

// Characters that show as nothing or as a blank other than the space, and
// those that mean nothing to a reader (control, private use, unassigned).
bool isHiddenOrBlank(UChar32 c) {
    if (c == ' ')
        return false;
    switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SPACE_SEPARATOR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_PRIVATE_USE_CHAR:
    case U_SURROGATE:
    case U_UNASSIGNED:
        return true;
    default:
        break;
    }
    // Hangul fillers, variation selectors, the combining grapheme joiner...;
    // the Braille blank looks like a space without being one.
    return u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) || c == 0x2800;
}

// Why a name of this kind ("a login name", "a display name") cannot be
// stored as it is written, or nothing.
std::optional<std::string> badName(const std::string &name, const std::string &kind) {
    if (name.empty())
        return kind + " may not be empty";
    if (name.front() == ' ' || name.back() == ' ')
        return kind + " may not begin or end with a blank";
    const auto *bytes = reinterpret_cast<const uint8_t *>(name.data());
    const int32_t length = static_cast<int32_t>(name.size());
    for (int32_t at = 0; at < length;) {
        UChar32 c;
        U8_NEXT(bytes, at, length, c);
        if (c < 0)
            return kind + " must be valid UTF-8";
        if (isHiddenOrBlank(c))
            return kind + " may not hold the invisible or blank character " + codePointText(c);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || !nfc->isNormalized(icu::UnicodeString::fromUTF8(name), status) ||
        U_FAILURE(status))
        return kind + " must be in Unicode normalization form C (NFC)";
    return std::nullopt;
}

struct SpoofCheckerClose {
    void operator()(USpoofChecker *checker) const { uspoof_close(checker); }
};

// Configured once, then only read, which ICU allows from many threads.
const USpoofChecker *spoofChecker() {
    static const std::unique_ptr<USpoofChecker, SpoofCheckerClose> checker = [] {
        UErrorCode status = U_ZERO_ERROR;
        USpoofChecker *opened = uspoof_open(&status);
        return std::unique_ptr<USpoofChecker, SpoofCheckerClose>(U_SUCCESS(status) ? opened
                                                                                   : nullptr);
    }();
    return checker.get();
}

std::string skeleton(const std::string &text) {
    const USpoofChecker *checker = spoofChecker();
    if (!checker)
        return text;
    std::string out(text.size() * 3 + 16, '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = uspoof_getSkeletonUTF8(checker, 0, text.data(), int32_t(text.size()),
                                            out.data(), int32_t(out.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(size_t(length), '\0');
        status = U_ZERO_ERROR;
        length = uspoof_getSkeletonUTF8(checker, 0, text.data(), int32_t(text.size()), out.data(),
                                        int32_t(out.size()), &status);
    }
    if (U_FAILURE(status))
        return text;
    out.resize(size_t(length));
    return out;
}

// Compatibility forms (full-width letters) and letter case folded away.
std::string caseFolded(const std::string &text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *fold = icu::Normalizer2::getNFKCCasefoldInstance(status);
    if (U_FAILURE(status))
        return text;
    std::string out;
    fold->normalize(icu::UnicodeString::fromUTF8(text), status).toUTF8String(out);
    return U_SUCCESS(status) ? out : text;
}

} // namespace

std::optional<std::string> badLoginName(const std::string &name) {
    if (auto why = badName(name, "a login name"))
        return why;
    // HTTP Basic authentication ends the login name at the first colon.
    if (name.find(':') != std::string::npos)
        return "a login name may not hold a colon (:)";
    return std::nullopt;
}

std::optional<std::string> badDisplayName(const std::string &name) {
    if (auto why = badName(name, "a display name"))
        return why;
    if (name.find('|') != std::string::npos)
        return "a display name may not hold \"|\", which separates the names in a list";
    if (name.find("--") != std::string::npos)
        return "a display name may not hold \"--\" or \"---\", which come before a signature";
    return std::nullopt;
}

std::string nameLikeness(const std::string &name) {
    // The skeleton keeps letter case: "М" (Cyrillic) becomes "M", which only
    // then folds to "m"; the last skeleton makes "m" and "rn" one.
    return skeleton(caseFolded(skeleton(name)));
}

} // namespace appserver
