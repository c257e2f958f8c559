#include "packetmode/current_packet_filters.h"

namespace vorlanx {

CurrentPacketFilters::CurrentPacketFilters()
    : m_snapshot(std::make_shared<const PacketFilterSet>()) {
    const auto initial = m_snapshot.load();
    m_criteria = initial->criteria();
    m_strings = initial->strings();
}

void CurrentPacketFilters::criteriaChanged(const SettingsRecord& record) {
    publish(std::make_shared<const FilterCriteria>(FilterCriteria::fromRecord(record)), m_strings);
}

void CurrentPacketFilters::refresh(const SettingsRecord& record) {
    auto criteria = m_criteria;
    FilterCriteria fresh = FilterCriteria::fromRecord(record);
    if (!(fresh == *criteria))
        criteria = std::make_shared<const FilterCriteria>(fresh);

    // Unchanged strings keep their object, so the list can share one column text.
    auto strings = m_strings;
    FilterStrings freshStrings = FilterStrings::fromRecord(record);
    if (!freshStrings.sameStrings(*strings))
        strings = std::make_shared<const FilterStrings>(std::move(freshStrings));

    if (criteria != m_criteria || strings != m_strings)
        publish(criteria, strings);
}

void CurrentPacketFilters::publish(std::shared_ptr<const FilterCriteria> criteria,
                                   std::shared_ptr<const FilterStrings> strings) {
    m_criteria = criteria;
    m_strings = strings;
    m_snapshot.replace(
        std::make_shared<const PacketFilterSet>(std::move(criteria), std::move(strings)));
}

}  // namespace vorlanx
