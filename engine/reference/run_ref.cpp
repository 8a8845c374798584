// The run's conversion stages, literally: each stage reads the current
// stream and fills the spare one, and the two swap.
#include "engine/reference/reference.h"

#include <utility>

namespace morvel::reference {

void ConvertWholeText(const ConversionPlan& plan, CByteStream& current) {
    CByteStream spare;
    current.SetReadPos(0);
    switch (plan.input) {
        case Jis: reference::JisToSjis(current, spare); swap(current, spare); break;
        case EucJp: reference::EucToSjis(current, spare); swap(current, spare); break;
        case Unicode: reference::FromUtf16(current, spare, Unicode); swap(current, spare); break;
        case Utf8:
            reference::ToUtf16(current, spare, Utf8);
            if (spare.Size() > 0) reference::FromUtf16(spare, current, Unicode);
            break;
        default: break;
    }
    if (plan.convertKana) {
        current.SetReadPos(0);
        spare.Clear();
        (plan.kanaToHalf ? reference::KanaToHalfWidth : reference::KanaToFullWidth)(current, spare);
        swap(current, spare);
    }
    if (plan.convertAlnum) {
        current.SetReadPos(0);
        spare.Clear();
        (plan.alnumToHalf ? reference::AlnumToHalfWidth : reference::AlnumToFullWidth)(current, spare);
        swap(current, spare);
    }
    spare.Clear();
    current.SetReadPos(0);
    switch (plan.output) {
        case Jis: reference::SjisToJis(current, spare); swap(current, spare); break;
        case EucJp: reference::SjisToEuc(current, spare); swap(current, spare); break;
        case Unicode: reference::ToUtf16(current, spare, Unicode); swap(current, spare); break;
        case Utf8:
            reference::ToUtf16(current, spare, Unicode);
            if (spare.Size() >= 2) {
                spare.EraseFront(2);
                reference::FromUtf16(spare, current, Utf8);
            }
            break;
        default: break;
    }
}

}  // namespace morvel::reference
