#include "cli/header_report.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

namespace deckwright::cli {
namespace {

using Json = nlohmann::json;

template <std::size_t N>
std::string Hex(const std::array<std::uint8_t, N>& a) {
    return HexBytes(a.data(), a.size());
}

// How a field's value reads in the table: byte fields in hex, numbers in hex and decimal.
std::string TableValue(const Json& v) {
    if (v.is_string()) return v.get<std::string>();
    const auto n = v.get<std::uint64_t>();
    char text[32];
    std::snprintf(text, sizeof text, "0x%08llX (%llu)", static_cast<unsigned long long>(n),
                  static_cast<unsigned long long>(n));
    return text;
}

}  // namespace

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0xF];
    }
    return out;
}

Json HeaderToJson(const CompoundFileHeader& h) {
    Json j = Json::object();
    j["header_signature"] = Hex(h.header_signature);
    j["header_clsid"] = Hex(h.header_clsid);
    j["minor_version"] = h.minor_version;
    j["major_version"] = h.major_version;
    j["byte_order"] = h.byte_order;
    j["sector_shift"] = h.sector_shift;
    j["mini_sector_shift"] = h.mini_sector_shift;
    j["reserved"] = Hex(h.reserved);
    j["number_of_directory_sectors"] = h.number_of_directory_sectors;
    j["number_of_fat_sectors"] = h.number_of_fat_sectors;
    j["first_directory_sector_location"] = h.first_directory_sector_location;
    j["transaction_signature_number"] = h.transaction_signature_number;
    j["mini_stream_cutoff_size"] = h.mini_stream_cutoff_size;
    j["first_mini_fat_sector_location"] = h.first_mini_fat_sector_location;
    j["number_of_mini_fat_sectors"] = h.number_of_mini_fat_sectors;
    j["first_difat_sector_location"] = h.first_difat_sector_location;
    j["number_of_difat_sectors"] = h.number_of_difat_sectors;
    j["difat"] = h.difat;
    return j;
}

// nlohmann's object keeps keys sorted; file order is kept here once for reports.
static const char* const kFieldOrder[] = {"header_signature",
                                          "header_clsid",
                                          "minor_version",
                                          "major_version",
                                          "byte_order",
                                          "sector_shift",
                                          "mini_sector_shift",
                                          "reserved",
                                          "number_of_directory_sectors",
                                          "number_of_fat_sectors",
                                          "first_directory_sector_location",
                                          "transaction_signature_number",
                                          "mini_stream_cutoff_size",
                                          "first_mini_fat_sector_location",
                                          "number_of_mini_fat_sectors",
                                          "first_difat_sector_location",
                                          "number_of_difat_sectors",
                                          "difat"};

std::vector<std::string> ChangedFields(const CompoundFileHeader& before,
                                       const CompoundFileHeader& after) {
    const Json a = HeaderToJson(before), b = HeaderToJson(after);
    std::vector<std::string> changed;
    for (const char* name : kFieldOrder) {
        if (a[name] != b[name]) changed.emplace_back(name);
    }
    return changed;
}

void PrintHeaderTable(std::ostream& out, const CompoundFileHeader& found,
                      const CompoundFileHeader& rebuilt) {
    const Json a = HeaderToJson(found), b = HeaderToJson(rebuilt);
    const int name_width = 32, value_width = 34;
    out << "  " << std::left << std::setw(name_width) << "field" << std::setw(value_width)
        << "found"
        << "rebuilt\n";
    auto row = [&](const std::string& name, const Json& x, const Json& y) {
        const bool differs = x != y;
        out << (differs ? "* " : "  ") << std::left << std::setw(name_width) << name
            << std::setw(value_width) << TableValue(x) << (differs ? TableValue(y) : "(same)")
            << '\n';
    };
    for (const char* name : kFieldOrder) {
        if (std::string(name) == "difat") continue;
        row(name, a[name], b[name]);
    }
    for (std::size_t k = 0; k < found.difat.size(); ++k) {
        if (found.difat[k] == kFreeSect && rebuilt.difat[k] == kFreeSect) continue;
        row("difat[" + std::to_string(k) + "]", a["difat"][k], b["difat"][k]);
    }
}

}  // namespace deckwright::cli
