// Every text the program shows comes from a table of strings per language, carried as the
// "STRINGS" resource. The texts are not copied: entries point into the resource bytes, which
// must outlive the table (an embedded resource lives as long as the process).
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

class MultiStrings {
public:
    // Builds the tables from the resource. False when the resource is malformed: a header or
    // block running past its end, a language with fewer strings than announced, or a last
    // string without its NUL. Languages loaded before a failure stay usable.
    bool Load(std::span<const uint8_t> resource);

    // Entry `id` of the selected language; "" for an entry the table does not have.
    const char* Text(int id) const { return Text(id, selectedLanguage_); }
    // Entry `id` of `language`; "" for an entry or language the table does not have.
    const char* Text(int id, uint32_t language) const;
    const char* LanguageName(uint32_t language) const;

    // The language every Text(id) shows: the first after a load. A language the table does
    // not hold in full (a block cut short by a failed load) is refused and the selection
    // stays. Chosen at start-up, before any thread of the job reads the table.
    bool SelectLanguage(uint32_t language);
    uint32_t SelectedLanguage() const { return selectedLanguage_; }

    uint32_t stringCount = 0;
    uint32_t languageCount = 0;

private:
    std::vector<std::vector<const char*>> strings_;
    std::vector<const char*> languageNames_;
    uint32_t selectedLanguage_ = 0;
};

// The program's one table, filled at start-up from the embedded resource.
MultiStrings& TheStrings();

// The embedded "STRINGS" resource (id 131); empty when the program carries none.
std::span<const uint8_t> StringTableResource();

// One value for a table text's conversion: an integer (for %d, %i, %u, %x, %X) or a text
// (for %s). Holds a text by reference: it lives for the FormatText call it is given to.
class FormatArg {
public:
    template <std::integral T>
    FormatArg(T value) : number_(static_cast<long long>(value)) {}
    FormatArg(std::string_view value) : text_(value), isText_(true) {}
    FormatArg(const char* value) : text_(value), isText_(true) {}
    FormatArg(const std::string& value) : text_(value), isText_(true) {}

    bool IsText() const { return isText_; }
    long long Number() const { return number_; }
    std::string_view Text() const { return text_; }

private:
    long long number_ = 0;
    std::string_view text_;
    bool isText_ = false;
};

// Fills in a table text's printf-style conversions (%d, %i, %u, %x, %X with flags and width,
// or %s) without handing the text to printf, so a malformed table or translation can never
// read stray arguments. The n-th conversion takes the n-th value; a conversion whose value
// is of the other type, or that has no value left, is copied as it stands, and so is
// anything else ("%%" gives "%").
std::string FormatText(std::string_view format, std::initializer_list<FormatArg> values);
std::string FormatText(std::string_view format, long long value);
std::string FormatText(std::string_view format, std::string_view value);

}  // namespace norvane
