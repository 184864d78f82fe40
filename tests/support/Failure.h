#pragma once

#include "data/EDatabaseError.h"

#include <QByteArray>

namespace tarvel {

// The message of the EDatabaseError that `step` throws; empty when it throws none.
template <typename Step>
QByteArray Failure(Step step)
{
    try {
        step();
    } catch (const EDatabaseError& error) {
        return error.what();
    }
    return {};
}

} // namespace tarvel
