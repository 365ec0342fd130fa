#pragma once

namespace sup::host {
class TADOIBQuery;
}

namespace sup07700 {

// The purchasing branch of a branch (`qryCentCmp`): parameter P_CDFILIAL; fields CDFILIAL (the
// central purchasing branch, or the branch itself) and NMFILIAL_CENTRAL. Both the maintenance
// and the filter screen run it for the processing branch.
void SetCentCmpQuery(sup::host::TADOIBQuery& query);

} // namespace sup07700
