#include "component/contract/QuillonProperties.h"

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
    for (const QuillonProperty& p : kQuillonProperties) {
        if (platform::EqualsIgnoringCase(p.name, name)) return &p;
    }
    return nullptr;
}
