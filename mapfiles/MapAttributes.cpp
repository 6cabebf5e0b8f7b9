#include "mapfiles/MapAttributes.h"

#include <algorithm>
#include <cctype>

namespace {

bool SameNameIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

// Length of the UTF-8 sequence starting at text[at], or 0 when it is not a
// valid one (overlong forms, surrogates and values beyond U+10FFFF included).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool IsValidUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

} // namespace

void CMapAttributes::Clear() {
    fields.clear();
    records.clear();
    languageDriver = 0;
    codePage.clear();
    featureRecords.clear();
}

std::size_t CMapAttributes::FieldOffset(std::size_t field) const {
    std::size_t offset = 1; // the deletion flag
    for (std::size_t i = 0; i < field && i < fields.size(); ++i) {
        offset += static_cast<std::size_t>(fields[i].width);
    }
    return offset;
}

std::size_t CMapAttributes::RecordLength() const {
    return FieldOffset(fields.size());
}

std::string CMapAttributes::Text(std::size_t record, std::size_t field) const {
    if (record >= records.size() || field >= fields.size()) {
        return {};
    }
    const std::string& row = records[record];
    const std::size_t start = FieldOffset(field);
    if (start >= row.size()) {
        return {};
    }
    std::size_t end = std::min(row.size(), start + static_cast<std::size_t>(fields[field].width));
    std::size_t first = start;
    while (first < end && (row[first] == ' ' || row[first] == '\0')) {
        ++first;
    }
    while (end > first && (row[end - 1] == ' ' || row[end - 1] == '\0')) {
        --end;
    }
    return row.substr(first, end - first);
}

int CMapAttributes::NameField() const {
    int firstText = -1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].type != 'C') {
            continue;
        }
        if (firstText < 0) {
            firstText = static_cast<int>(i);
        }
        for (const char* name : {"NAME", "ADMIN", "NAME_EN"}) {
            if (SameNameIgnoringCase(fields[i].name, name)) {
                return static_cast<int>(i);
            }
        }
    }
    return firstText;
}

int32_t CMapAttributes::RecordOfFeature(std::size_t feature) const {
    return feature < featureRecords.size() ? featureRecords[feature] : -1;
}

std::string AttributeTextToUtf8(const std::string& text) {
    if (IsValidUtf8(text)) {
        return text;
    }
    std::string converted;
    converted.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            converted.push_back(c);
        } else {
            converted.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            converted.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return converted;
}
