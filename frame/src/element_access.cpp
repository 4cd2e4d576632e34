// Element access on the first-child chain of an element tree.
#include <gauge/frame.h>

extern "C" {

ElementHeader* __stdcall GetElement(ElementHeader* start, std::uint32_t index) {
    ElementHeader* element = start;
    for (; element != nullptr && index != 0; --index) {
        element = element->children != nullptr ? element->children[0] : nullptr;
    }
    return element;
}

void __stdcall SetElementFlags(ElementHeader* start, std::uint32_t index, std::uint32_t flags) {
    if (ElementHeader* const element = GetElement(start, index)) element->draw_flags |= flags;
}

void __stdcall ClearElementFlags(ElementHeader* start, std::uint32_t index, std::uint32_t flags) {
    if (ElementHeader* const element = GetElement(start, index)) element->draw_flags &= ~flags;
}

}  // extern "C"
