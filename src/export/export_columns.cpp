#include "export/export_columns.h"

#include "frame/ascii_case.h"
#include "frame/text_copy.h"
#include "search/attribute_search.h"

namespace lumetra {
namespace {

bool HasColumn(const std::vector<ExportColumn>& columns, const char* label) {
  for (const ExportColumn& c : columns) {
    if (c.source == ExportColumn::Source::kAttribute && EqualNoCase(c.label, label)) {
      return true;
    }
  }
  return false;
}

}  // namespace

ExportColumns ExportColumns::Plan(const AttributeSearch* attributes, const char* name_label,
                                  const char* name2_label) {
  ExportColumns plan;
  const int fields = attributes != nullptr ? attributes->VisibleFieldCount() : 0;
  for (int i = 0; i < fields; ++i) {
    FieldId* field = attributes->VisibleField(i);
    if (field == nullptr) continue;
    pipAttributeInfoStruct info;
    attributes->FillInfo(*field, &info);
    ExportColumn column;
    column.label = CutText(info.name, sizeof info.name);
    column.type = info.type == 'N' ? 'N' : 'C';
    column.width = info.width > 0 ? info.width : 1;
    column.decimals = column.type == 'N' ? info.decimals : 0;
    plan.columns_.push_back(column);
  }
  if (!HasColumn(plan.columns_, name_label)) {
    plan.columns_.push_back({name_label, 'C', kNameWidth, 0, ExportColumn::Source::kName});
  }
  if (!HasColumn(plan.columns_, name2_label)) {
    plan.columns_.push_back({name2_label, 'C', kNameWidth, 0, ExportColumn::Source::kName2});
  }
  return plan;
}

std::vector<std::string> ExportColumns::Values(const AttributeSearch* attributes,
                                               const pipObjectInfoStruct& object) const {
  std::vector<std::string> values;
  values.reserve(columns_.size());
  for (const ExportColumn& column : columns_) {
    switch (column.source) {
      case ExportColumn::Source::kName:
        values.push_back(CutText(object.name, sizeof object.name));
        break;
      case ExportColumn::Source::kName2:
        values.push_back(CutText(object.name2, sizeof object.name2));
        break;
      case ExportColumn::Source::kAttribute: {
        FieldId* field = attributes != nullptr && attributes->positioned()
                             ? attributes->FieldByName(column.label.c_str())
                             : nullptr;
        pipAttributeInfoStruct info;
        const bool found = field != nullptr && attributes->FillInfo(*field, &info) == 1;
        values.push_back(found ? CutText(info.value, sizeof info.value) : std::string());
        break;
      }
    }
  }
  return values;
}

bool IsUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int follow = c < 0x80           ? 0
                       : (c >> 5) == 0x6  ? 1
                       : (c >> 4) == 0xE  ? 2
                       : (c >> 3) == 0x1E ? 3
                                          : -1;
    if (follow < 0 || i + static_cast<std::size_t>(follow) >= text.size()) return false;
    for (int k = 1; k <= follow; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    i += static_cast<std::size_t>(follow) + 1;
  }
  return true;
}

}  // namespace lumetra
