// DirectIO dispatch to the reliability records.
#include "ras/direct_io.h"

#include "ras/ras_rules.h"
#include "util/opos_constants.h"

LONG DirectIOFrame(CVmRAS& ras, bool opened, LONG command, LONG& data, std::string* text,
                   LONG binaryConversion, LONG* resultCodeExtended) {
    if (!opened) return OPOS_E_CLOSED;
    if (!IsRasCommand(command)) return OPOS_E_ILLEGAL;
    const LONG result = ras.ExecuteCommand(command, &data, text, binaryConversion);
    if (resultCodeExtended != nullptr) *resultCodeExtended = ras.GetResultCodeExtended();
    return result;
}
