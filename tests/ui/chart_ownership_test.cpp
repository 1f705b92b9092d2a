#include <gtest/gtest.h>

#include <QChart>
#include <unordered_set>

#include "ui/measurement_chart.h"

// Qt's table of object hooks, the one inspection tools use to see every QObject come and go.
// Its layout is versioned; the two entries used here have kept their places since Qt 5.4.
extern Q_DECL_IMPORT quintptr qtHookData[];

namespace {

constexpr int kHookDataSize = 1;
constexpr int kAddQObject = 3;
constexpr int kRemoveQObject = 4;

std::unordered_set<QObject*>* g_live = nullptr;
void objectAdded(QObject* o) { g_live->insert(o); }
void objectRemoved(QObject* o) { g_live->erase(o); }

// Records every QObject created and not yet destroyed while it exists.
class LiveObjects {
public:
    LiveObjects() {
        g_live = &m_live;
        qtHookData[kAddQObject] = reinterpret_cast<quintptr>(&objectAdded);
        qtHookData[kRemoveQObject] = reinterpret_cast<quintptr>(&objectRemoved);
    }
    ~LiveObjects() {
        qtHookData[kAddQObject] = 0;
        qtHookData[kRemoveQObject] = 0;
        g_live = nullptr;
    }
    int count(const char* className) const {
        int n = 0;
        for (QObject* o : m_live) n += o->inherits(className);
        return n;
    }

private:
    std::unordered_set<QObject*> m_live;
};

}  // namespace

// A chart view built without a chart makes a default one, and setChart() hands that back to the
// caller rather than deleting it: each window would leak a whole chart.
TEST(ChartOwnership, TheViewMakesOneChartAndLeavesNoneBehind) {
    if (qtHookData[kHookDataSize] <= quintptr(kRemoveQObject)) GTEST_SKIP() << "no object hooks in this Qt";
    LiveObjects live;
    {
        darvelon::ui::MeasurementChart view;
        EXPECT_EQ(live.count("QChart"), 1);
    }
    EXPECT_EQ(live.count("QChart"), 0);
}
