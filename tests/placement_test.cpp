// Monitor choice and bar placement as pure arithmetic.
#include <gtest/gtest.h>

#include "ravlin/control/placement.h"

namespace {

const std::vector<MonitorRect> two_heads = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};

TEST(ChooseMonitor, FocusWindowPicksTheMonitorHoldingMostOfIt)
{
    FocusInfo straddling{MonitorRect{1800, 100, 300, 200}, Point{10, 10}};
    EXPECT_EQ(choose_monitor(two_heads, straddling), 1);
    FocusInfo mostly_left{MonitorRect{1700, 100, 300, 200}, Point{2000, 10}};
    EXPECT_EQ(choose_monitor(two_heads, mostly_left), 0);
    // Equal parts: the monitor listed first.
    FocusInfo tie{MonitorRect{1820, 100, 200, 200}, Point{2000, 10}};
    EXPECT_EQ(choose_monitor(two_heads, tie), 0);
}

TEST(ChooseMonitor, FallsBackToThePointerThenToTheFirstMonitor)
{
    EXPECT_EQ(choose_monitor(two_heads, {std::nullopt, Point{2500, 500}}), 1);
    EXPECT_EQ(choose_monitor(two_heads, {std::nullopt, Point{100, 500}}), 0);
    // A focus window on no monitor counts as no focus.
    EXPECT_EQ(choose_monitor(two_heads, {MonitorRect{5000, 0, 10, 10}, Point{2500, 5}}), 1);
    // Pointer on another screen, or in the gap below the shorter head.
    EXPECT_EQ(choose_monitor(two_heads, {std::nullopt, std::nullopt}), 0);
    EXPECT_EQ(choose_monitor(two_heads, {std::nullopt, Point{2500, 1050}}), 0);
    // The pointer's pixel sits on the right monitor at its very edge.
    EXPECT_EQ(choose_monitor(two_heads, {std::nullopt, Point{1920, 0}}), 1);
    EXPECT_EQ(choose_monitor(two_heads, {std::nullopt, Point{1919, 0}}), 0);
}

TEST(PlaceBar, OffsetsWidthAndBottomEdge)
{
    BarPlacement top = place_bar(two_heads[1], true, false, 50, 10, 300, 20);
    EXPECT_EQ(top.x, 1970);
    EXPECT_EQ(top.y, 10);
    EXPECT_EQ(top.width, 300);
    BarPlacement bottom = place_bar(two_heads[0], true, true, 0, 10, 0, 20);
    EXPECT_EQ(bottom.y, 1050);
    EXPECT_EQ(bottom.width, 1920);
    EXPECT_EQ(place_bar(two_heads[1], true, true, 0, 10, 0, 20).y, 994);
}

TEST(PlaceBar, WithoutXineramaYOffsetCountsOnlyAtTheBottom)
{
    MonitorRect screen{0, 0, 1280, 800};
    EXPECT_EQ(place_bar(screen, false, false, 5, 10, 0, 15).y, 0);
    EXPECT_EQ(place_bar(screen, false, false, 5, 10, 0, 15).x, 5);
    EXPECT_EQ(place_bar(screen, false, true, 0, 10, 0, 15).y, 775);
}

TEST(ClampWindowExtent, KeepsSizesXAccepts)
{
    EXPECT_EQ(clamp_window_extent(-300), 1u);
    EXPECT_EQ(clamp_window_extent(0), 1u);
    EXPECT_EQ(clamp_window_extent(640), 640u);
    EXPECT_EQ(clamp_window_extent(4294967295LL), 32767u);
}

}  // namespace

TEST(PlaceBar, ExtremeOffsetsAreHeldAtTheEdgeOfWhatXCarries)
{
    MonitorRect screen{0, 0, 1280, 800};
    BarPlacement low = place_bar(screen, true, true, INT32_MIN, INT32_MIN, 0, 15);
    EXPECT_EQ(low.y, 32767);
    EXPECT_EQ(low.x, -32768);
    BarPlacement high = place_bar(two_heads[1], true, false, INT32_MAX, INT32_MAX, 0, 15);
    EXPECT_EQ(high.y, 32767);
    EXPECT_EQ(high.x, 32767);
}
