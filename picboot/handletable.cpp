#include "picboot/handletable.h"

#include <limits>

namespace picboot {

HandleTable &HandleTable::instance()
{
    static HandleTable table;
    return table;
}

int32_t HandleTable::add(std::shared_ptr<Link> link)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_next == std::numeric_limits<int32_t>::max())
        return -1;
    const int32_t handle = m_next++;
    m_links.emplace(handle, std::move(link));
    return handle;
}

std::shared_ptr<Link> HandleTable::find(int32_t handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_links.find(handle);
    return it == m_links.end() ? nullptr : it->second;
}

std::shared_ptr<Link> HandleTable::remove(int32_t handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_links.find(handle);
    if (it == m_links.end())
        return nullptr;
    std::shared_ptr<Link> link = std::move(it->second);
    m_links.erase(it);
    return link;
}

} // namespace picboot
