#pragma once

#include "looseval.h"

#include <QString>

namespace velmora {

// The outcome of a lookup: a value, or why there is none.
struct JsonField
{
    LooseValue value; // meaningful only when ok()
    QString error;    // empty on success

    bool ok() const { return error.isEmpty(); }
};

// Reads the member at a dotted path ("Rendata.songURL") out of a JSON text.
// The text is parsed as strict JSON and never run. Results:
//   string, number, boolean, null      -> that value (escapes decoded)
//   object or array                    -> a compound value (no text form)
//   last member missing                -> the empty value
//   a member before the last holds a
//   string, number or boolean          -> the empty value
//   a member before the last missing
//   or null, or the text not JSON      -> an error
// Member names are case-sensitive; of duplicate keys the last one wins.
JsonField GetJsonField(const QString &path, const QString &jsonText);

} // namespace velmora
