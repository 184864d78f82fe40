#include "base/Remark.h"

namespace tarvel {

QByteArray RemarkLine(const Remark& remark)
{
    switch (remark.kind) {
    case Remark::Kind::Warning:
        return "warning: " + remark.text;
    case Remark::Kind::Error:
        return "error: " + remark.text;
    case Remark::Kind::Info:
        break;
    }
    return "info: " + remark.text;
}

} // namespace tarvel
