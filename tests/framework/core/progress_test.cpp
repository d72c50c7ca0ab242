#include "framework/core/qwf_progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Records what reaches it.
class RecordingSink : public CQWF_Progress {
public:
    void SetPercent(uint8_t percent) override { seen.push_back(percent); }
    std::vector<int> seen;
};
}  // namespace

TEST(Progress, SubRangeMapsIntoParentWithinItsEnds)
{
    RecordingSink parent;
    CQWF_SubProgress upper;
    upper.SetRange(&parent, 50, 100);
    upper.SetPercent(0);
    upper.SetPercent(50);
    upper.SetPercent(100);
    CQWF_SubProgress third;
    third.SetRange(&parent, 0, 33);
    third.SetPercent(50);  // 16.5 truncated
    CQWF_SubProgress down;
    down.SetRange(&parent, 80, 20);  // a falling range still maps linearly
    down.SetPercent(50);
    down.SetPercent(255);  // past its end, below 0: 0
    // The ends are clamped to 100: beyond 100 in, still at most 100 out.
    CQWF_SubProgress wide;
    wide.SetRange(&parent, 20, 200);
    EXPECT_EQ(wide.GetStart(), 20.0);
    EXPECT_EQ(wide.GetEnd(), 100.0);
    wide.SetPercent(255);
    EXPECT_EQ(parent.seen, (std::vector<int>{50, 75, 100, 16, 50, 0, 100}));
}

TEST(Progress, CancelFlagsAndSubSinksAskingTheirParent)
{
    CQWF_Progress base;
    base.SetPercent(50);
    EXPECT_FALSE(base.IsCancelled());
    base.Cancel();
    EXPECT_TRUE(base.IsCancelled());
    base.ClearCancel();
    EXPECT_FALSE(base.IsCancelled());

    CQWF_SubProgress orphan;
    orphan.SetPercent(40);  // no parent: ignored
    EXPECT_FALSE(orphan.IsCancelled());

    CQWF_SubProgress sub;
    sub.SetRange(&base, 0, 100);
    sub.Cancel();
    EXPECT_FALSE(sub.IsCancelled());
    base.Cancel();
    EXPECT_TRUE(sub.IsCancelled());

    // Nested stages reach the outermost sink.
    CQWF_SubProgress inner;
    inner.SetRange(&sub, 0, 50);
    EXPECT_TRUE(inner.IsCancelled());
}
