#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The attribute table (.dbf) that came with a shapefile, kept so that saving
// the map writes the same rows again, and so that a feature's name can be
// shown. Rows are kept exactly as the file held them: the bytes of each record
// (deletion flag first, then every field at its fixed width), whatever the
// field types, so nothing is lost or reformatted on the way through.
struct CAttributeField {
    std::string name;
    char type = 'C'; // dBASE type letter: C text, N number, F float, L logical, D date
    int width = 0;
    int decimals = 0;
};

class CMapAttributes {
public:
    std::vector<CAttributeField> fields;
    // One raw row per record of the source file, in file order.
    std::vector<std::string> records;
    // The code page byte of the table's header (0 when none was given).
    int languageDriver = 0;
    // The text of the .cpg file beside the table, empty when there was none.
    std::string codePage;
    // For each holed polygon of the content, in content order: the number
    // (from 0) of the shapefile record it came from, or -1. A record split
    // into several holed polygons appears once per holed polygon. Kept even
    // when there is no table.
    std::vector<int32_t> featureRecords;

    bool HasTable() const { return !fields.empty(); }
    void Clear();

    // The field's text in one record, without the padding blanks; empty for
    // a record or field that does not exist.
    std::string Text(std::size_t record, std::size_t field) const;
    // The field to show as a feature's name: the first text field named
    // NAME, ADMIN or NAME_EN (in any case), otherwise the first text field;
    // -1 when the table has no text field.
    int NameField() const;
    // The source record of a holed polygon (content index), or -1.
    int32_t RecordOfFeature(std::size_t feature) const;
    // Where a field starts within a raw row.
    std::size_t FieldOffset(std::size_t field) const;
    // The length of a raw row: the deletion flag and every field.
    std::size_t RecordLength() const;
};

// Text of a table in UTF-8: bytes that already form valid UTF-8 are kept,
// anything else is taken as Latin-1 (the usual code page of old tables).
std::string AttributeTextToUtf8(const std::string& text);
