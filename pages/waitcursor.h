#pragma once

// The application's wait cursor as one page's own: shown at most once and
// taken down at most once, so that a page that reports twice, or steps back
// before its job ran, never leaves the cursor stack out of balance.
class WaitCursor
{
public:
    WaitCursor() = default;
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

    void show();
    void restore();

private:
    bool m_shown = false;
};
