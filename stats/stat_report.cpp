// The UPOSStat document.
#include "stats/stat_report.h"

#include <vector>

namespace {

constexpr char kEol[] = "\r\n";
constexpr char kStartTag[] =
    "<UPOSStat version=\"1.13.0\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns=\"http://www.nrf-arts.org/UnifiedPOS/namespace/\" "
    "xsi:schemaLocation=\"http://www.nrf-arts.org/UnifiedPOS/namespace/UPOSStat.xsd\">";
constexpr int32_t kAlwaysReportedRows = 4;  // UnifiedPOSVersion to ModelName

struct Entry {
    std::string name;
    std::string value;
    std::string unit;
};

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
    for (size_t pos = text->find(from); pos != std::string::npos;
         pos = text->find(from, pos + to.size())) {
        text->replace(pos, from.size(), to);
    }
}

void WriteBlocks(std::string* doc, const std::vector<Entry>& entries, const char* element) {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        *doc += std::string("\t\t<") + element + ">" + kEol;
        *doc += "\t\t\t<Name>" + it->name + "</Name>" + kEol;
        *doc += "\t\t\t<Value>" + XmlEscape(it->value) + "</Value>" + kEol;
        if (!it->unit.empty()) {
            *doc += "\t\t\t<unitofmeasure>" + XmlEscape(it->unit) + "</unitofmeasure>" + kEol;
        }
        *doc += std::string("\t\t</") + element + ">" + kEol;
    }
}

}  // namespace

std::string XmlEscape(const std::string& text) {
    std::string out = text;
    ReplaceAll(&out, "&", "&amp;");
    ReplaceAll(&out, "<", "&lt;");
    ReplaceAll(&out, ">", "&gt;");
    ReplaceAll(&out, "\"", "&quot;");
    ReplaceAll(&out, "'", "&apos;");
    return out;
}

std::string WriteStatReport(const StatBlock& block, const STATREQ* records, size_t count) {
    std::vector<Entry> counters;
    std::vector<Entry> manufacturer;
    for (size_t i = 0; i < count; ++i) {
        const STATREQ& record = records[i];
        if (record.nTable != kStatTableUpos && record.nTable != kStatTableManufacturer) continue;
        STATSLOT slot;
        if (!block.FindSlot(record.nTable, record.nRow, &slot)) continue;
        Entry entry{slot.szName, block.ValueText(slot), block.Unit(slot)};
        (record.nTable == kStatTableUpos ? counters : manufacturer).push_back(std::move(entry));
    }

    std::string doc;
    doc += std::string("<?xml version= '1.0' ?>") + kEol;
    doc += std::string(kStartTag) + kEol;
    doc += std::string("\t<Event>") + kEol;
    WriteBlocks(&doc, counters, "Parameter");
    WriteBlocks(&doc, manufacturer, "ManufacturerSpecific");
    doc += std::string("\t</Event>") + kEol;
    doc += std::string("\t<Equipment>") + kEol;
    for (int32_t row = 0; row < block.Layout().rows[kStatTableEquipment]; ++row) {
        STATSLOT slot;
        if (!block.FindSlot(kStatTableEquipment, row, &slot)) continue;
        const std::string name = slot.szName;
        const std::string value = block.ValueText(slot);
        if (row >= kAlwaysReportedRows && value.empty()) continue;
        if (name == "DeviceCategory") {
            doc += "\t\t<DeviceCategory UPOS=\"" + value + "\"/>" + kEol;
        } else {
            doc += "\t\t<" + name + ">" + XmlEscape(value) + "</" + name + ">" + kEol;
        }
    }
    doc += std::string("\t</Equipment>") + kEol;
    doc += std::string("</UPOSStat>") + kEol;
    return doc;
}
