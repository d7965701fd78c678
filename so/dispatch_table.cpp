// ICashDrawer as the control object sees it: every DISPID, its name, its parameter and result
// types, and the member that serves it. The names resolve through the type library.
#include "so/cash_drawer.h"

using fw::ArgType;
using fw::DispCall;
using fw::ReturnType;
using Member = fw::DispMember<CCashDrawer>;

namespace {

constexpr ArgType L = ArgType::Long;
constexpr ArgType S = ArgType::String;
constexpr ArgType N = ArgType::Name;
constexpr ArgType D = ArgType::Dispatch;
constexpr ArgType LRef = ArgType::LongRef;
constexpr ArgType SRef = ArgType::StringRef;
constexpr ArgType BRef = ArgType::BstrRef;

const Member kMembers[] = {
    {1,
     "GetPropertyNumber",
     ReturnType::Long,
     1,
     {L},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.GetPropertyNumber(c.Long(0))); }},
    {2,
     "SetPropertyNumber",
     ReturnType::Void,
     2,
     {L, L},
     [](CCashDrawer& o, DispCall& c) { o.SetPropertyNumber(c.Long(0), c.Long(1)); }},
    {3,
     "GetPropertyString",
     ReturnType::String,
     1,
     {L},
     [](CCashDrawer& o, DispCall& c) { c.ReturnString(o.GetPropertyString(c.Long(0))); }},
    {4,
     "OpenService",
     ReturnType::Long,
     3,
     {N, N, D},
     [](CCashDrawer& o, DispCall& c) {
         c.ReturnLong(o.OpenService(c.Name(0), c.Name(1), c.Dispatch(2)));
     }},
    {5,
     "Close",
     ReturnType::Long,
     0,
     {},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.Close()); }},
    {6,
     "Claim",
     ReturnType::Long,
     1,
     {L},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.Claim(c.Long(0))); }},
    {7,
     "Release",
     ReturnType::Long,
     0,
     {},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.ReleaseDevice()); }},
    {8,
     "CheckHealth",
     ReturnType::Long,
     1,
     {L},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.CheckHealth(c.Long(0))); }},
    {9,
     "DirectIO",
     ReturnType::Long,
     3,
     {L, LRef, BRef},
     [](CCashDrawer& o, DispCall& c) {
         c.ReturnLong(o.DirectIO(c.Long(0), c.LongRef(1), c.BstrRef(2)));
     }},
    {10,
     "OpenDrawer",
     ReturnType::Long,
     0,
     {},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.OpenDrawer()); }},
    {11,
     "WaitForDrawerClose",
     ReturnType::Long,
     4,
     {L, L, L, L},
     [](CCashDrawer& o, DispCall& c) {
         c.ReturnLong(o.WaitForDrawerClose(c.Long(0), c.Long(1), c.Long(2), c.Long(3)));
     }},
    {12,
     "SetPropertyString",
     ReturnType::Void,
     2,
     {L, S},
     [](CCashDrawer& o, DispCall& c) { o.SetPropertyString(c.Long(0), c.String(1)); }},
    {13,
     "COFreezeEvents",
     ReturnType::Long,
     1,
     {L},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.COFreezeEvents(c.Long(0))); }},
    {14,
     "CloseService",
     ReturnType::Long,
     0,
     {},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.Close()); }},
    {15,
     "ClaimDevice",
     ReturnType::Long,
     1,
     {L},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.Claim(c.Long(0))); }},
    {16,
     "ReleaseDevice",
     ReturnType::Long,
     0,
     {},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.ReleaseDevice()); }},
    {17,
     "GetOpenResult",
     ReturnType::Long,
     0,
     {},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.GetOpenResult()); }},
    {18,
     "ResetStatistics",
     ReturnType::Long,
     1,
     {S},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.ResetStatistics(c.String(0))); }},
    {19,
     "RetrieveStatistics",
     ReturnType::Long,
     1,
     {SRef},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.RetrieveStatistics(c.StringRef(0))); }},
    {20,
     "UpdateStatistics",
     ReturnType::Long,
     1,
     {S},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.UpdateStatistics(c.String(0))); }},
    {21,
     "CompareFirmwareVersion",
     ReturnType::Long,
     2,
     {S, LRef},
     [](CCashDrawer& o, DispCall& c) {
         c.ReturnLong(o.CompareFirmwareVersion(c.String(0), c.LongRef(1)));
     }},
    {22,
     "UpdateFirmware",
     ReturnType::Long,
     1,
     {S},
     [](CCashDrawer& o, DispCall& c) { c.ReturnLong(o.UpdateFirmware(c.String(0))); }},
};

}  // namespace

HRESULT CCashDrawer::InvokeMember(DISPID id, const DISPPARAMS* params, VARIANT* result,
                                  UINT* argErr) {
    return InvokeFromTable(*this, kMembers, id, params, result, argErr);
}
