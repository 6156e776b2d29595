#pragma once

#include "picboot/link.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace picboot {

// The open links by handle. Handles start at 1 and are never handed out
// twice, so a stale handle (or the 0 a caller keeps after closing) can never
// reach another caller's link.
class HandleTable
{
public:
    static HandleTable &instance();

    int32_t add(std::shared_ptr<Link> link);          // the new handle, or -1 when none is left
    std::shared_ptr<Link> find(int32_t handle) const;  // null when unknown or closed
    std::shared_ptr<Link> remove(int32_t handle);      // null when unknown or closed

private:
    mutable std::mutex m_mutex;
    std::map<int32_t, std::shared_ptr<Link>> m_links;
    int32_t m_next = 1;
};

} // namespace picboot
