#include "component/contract/QuillonProperties.h"

#include <array>
#include <iterator>

#include "platform/common/AsciiCase.h"

bool QuillonProperty::Accepts(const VARIANT& converted) const {
    switch (values) {
        case PropertyValues::kAnyValue:
        case PropertyValues::kText:
        case PropertyValues::kDigitGroups:
            return true;
        case PropertyValues::kIntegers:
            return integers.Contains(converted.vt == VT_I2 ? converted.iVal : converted.lVal);
        case PropertyValues::kIntegerList:
            return listed.Contains(converted.vt == VT_I2 ? converted.iVal : converted.lVal);
        case PropertyValues::kReals:
            return reals.Contains(
                static_cast<float>(converted.vt == VT_R4 ? converted.fltVal : converted.dblVal));
    }
    return false;
}

std::span<const QuillonProperty> QuillonProperties() {
    return kQuillonProperties;
}

const QuillonProperty* FindQuillonProperty(std::string_view name) {
    // The names' lengths are compared first: a lookup is made for every setting.
    static const auto names = [] {
        std::array<std::string_view, std::size(kQuillonProperties)> all{};
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = kQuillonProperties[i].name;
        return all;
    }();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].size() == name.size() && platform::EqualsIgnoringCase(names[i], name)) {
            return &kQuillonProperties[i];
        }
    }
    return nullptr;
}
