// The filter set the capture thread uses now, replaced as a whole when the criteria change.
//
// The user-interface thread owns the SettingsRecord; it builds a new PacketFilterSet from
// it and swaps it in. The address and port lists, protocol flags and size limits are
// taken when the filter setup stores them (criteriaChanged) and, as a safety net, on every
// refresh; the six working strings only on the status monitor's 50 ms refresh, as the
// user expects from the live filter strings.
#pragma once

#include <memory>

#include "settings/settings_record.h"
#include "packetmode/shared_snapshot.h"
#include "packetmode/packet_filter_set.h"

namespace vorlanx {

class CurrentPacketFilters {
  public:
    // Starts with every criterion at its default and no strings.
    CurrentPacketFilters();

    // Takes the list, flag and size criteria from the record; the next datagram uses them.
    // User-interface thread (the owner of the record).
    void criteriaChanged(const SettingsRecord& record);

    // The status monitor's refresh: the six working strings, and the other criteria when
    // they differ from the ones in use. User-interface thread.
    void refresh(const SettingsRecord& record);

    // The set in use now. Any thread.
    std::shared_ptr<const PacketFilterSet> current() const { return m_snapshot.load(); }

    // The snapshot cell, for a capture thread's cached reader.
    const SharedSnapshot<PacketFilterSet>& snapshot() const { return m_snapshot; }

  private:
    void publish(std::shared_ptr<const FilterCriteria> criteria,
                 std::shared_ptr<const FilterStrings> strings);

    SharedSnapshot<PacketFilterSet> m_snapshot;
    // Last published parts; only the user-interface thread touches them.
    std::shared_ptr<const FilterCriteria> m_criteria;
    std::shared_ptr<const FilterStrings> m_strings;
};

}  // namespace vorlanx
