// The record matcher on arbitrary free bytes, under every known device layout: the header shapes
// and value checks it runs on each byte of a freeblock or gap must never read out of the region.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "cellsalvage/knownlayouts.h"
#include "cellsalvage/recordmatcher.h"
#include "cellsalvage/tableschema.h"

namespace {

namespace layouts = cellsalvage::layouts;

const char* const kLayouts[] = {layouts::kAddressBookPerson,
                                layouts::kAddressBookMultiValue,
                                layouts::kIos5Message,
                                layouts::kIos6Message,
                                layouts::kCall,
                                layouts::kAndroidData,
                                layouts::kAndroidSms};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the layout and the fewest fields a record must carry.
    const std::size_t layout = data[0] % std::size(kLayouts);
    const std::size_t minFields = 1 + (data[0] >> 4);
    const cellsalvage::TableSchema schema =
        cellsalvage::ParseLayout("fuzzed", kLayouts[layout], true);
    cellsalvage::RecordMatcher matcher(schema, minFields);
    std::size_t records = 0;
    matcher.Scan(std::span(data + 1, size - 1), [&records](cellsalvage::CarvedRecord&& record) {
        records += record.Fields().size();
    });
    return records == static_cast<std::size_t>(-1) ? 1 : 0;
}
