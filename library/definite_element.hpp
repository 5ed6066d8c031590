#pragma once
// The element hooks a list calls: clearing an element whose cell goes, copying one when a
// whole list is copied. The defaults reset to the type's initial value and copy by value.

namespace Definite_Element {

template <typename Element>
struct Default_Hooks {
    static inline const Element Initial_Value{};
    static void Clear(Element& the_element) { the_element = Initial_Value; }
    static Element Copy(const Element& the_element) { return the_element; }
};

}  // namespace Definite_Element
