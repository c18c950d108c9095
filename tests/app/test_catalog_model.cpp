// The catalogue model: structure under QAbstractItemModelTester, the status
// texts and images, and the explicit step that turns a row back to dsNone when
// its package vanished from the cache.
#include "app/uCatalogModel.h"
#include "tests/support/TestSupport.h"

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>

namespace velmora::test {
namespace {

TCatalogItem MakeItem(const std::string& name, TDownState state = dsNone, int progress = 0,
                      bool installed = false) {
    TCatalogItem item;
    item.Name = name;
    item.IsZip = true;
    item.State = state;
    item.Progress = progress;
    item.Installed = installed;
    return item;
}

TEST(CatalogModel, GroupsAndItemsPassTheModelTester) {
    test::TTempDir dir;
    TFolderFields folders{dir.Path() / "", {}, {}, {}};
    TCatalogModel model(tagTheme, "主题名称", folders);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    const TCatalogRow scenery = model.AddRow(NoRow, MakeItem("风景"));
    const TCatalogRow anime = model.AddRow(NoRow, MakeItem("动漫"));
    const TCatalogRow a = model.AddRow(scenery, MakeItem("山水之间"));
    const TCatalogRow b = model.AddRow(scenery, MakeItem("秋日森林"));
    const TCatalogRow c = model.AddRow(anime, MakeItem("星空少女"));

    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.rowCount(model.IndexOf(scenery)), 2);
    EXPECT_EQ(model.IndexOf(b).parent(), model.IndexOf(scenery));
    EXPECT_EQ(model.IndexOf(c).row(), 0);
    EXPECT_TRUE(model.IsGroup(anime));
    EXPECT_FALSE(model.IsGroup(a));
    // Handles stay valid and unique as rows are added.
    EXPECT_EQ(model.Item(a)->Name, "山水之间");
    EXPECT_EQ(model.Item(NoRow), nullptr);
    EXPECT_EQ(model.Item(99), nullptr);
    // Group rows show their title and nothing else.
    EXPECT_EQ(model.GetText(scenery, 1), "");
    EXPECT_EQ(model.GetImageIndex(scenery, 0), -1);
    model.SetNameHeader("主题名称 (共:3个主题)");
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "主题名称 (共:3个主题)");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "状态");
}

// The lists as the window fills them: runs of rows under one parent in one
// insertion each, cut where a slice ends.
class TModelSink : public ICatalogSink {
public:
    explicit TModelSink(TCatalogModel& model) : FModel(model) {}
    TCatalogRow AddRow(int, TCatalogRow parent, const TCatalogItem& item) override {
        return FModel.AddRow(parent, item);
    }
    void AddRows(int, TCatalogRow parent, TCatalogRecord* records, std::size_t count,
                 TCatalogRow* handles) override {
        FModel.AddRows(parent, records, count, handles);
    }
    void SetThemeHeader(const std::string&) override {}

private:
    TCatalogModel& FModel;
};

TEST(CatalogModel, RunsOfRowsPassTheModelTesterAndKeepTheTree) {
    test::TTempDir dir;
    TFolderFields folders{dir.Path() / "", {}, {}, {}};
    TCatalogModel model(tagTheme, "主题名称", folders);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    TCatalogDocument doc;
    auto add = [&doc](std::int64_t parent, const std::string& name) {
        doc.Rows.push_back({tagTheme, parent, MakeItem(name)});
        return static_cast<std::int64_t>(doc.Rows.size() - 1);
    };
    const auto g1 = add(-1, "g1");
    for (int i = 0; i < 7; ++i)
        add(g1, "a" + std::to_string(i));
    add(-1, "empty");
    const auto g3 = add(-1, "g3");
    add(g3, "b0");
    doc.ThemeRows = doc.Rows.size();
    TCatalogFiller filler(std::move(doc));
    TModelSink sink(model);
    while (!filler.Fill(sink, 3)) {
    }

    ASSERT_EQ(model.rowCount(), 3);
    const QModelIndex first = model.index(0, 0);
    ASSERT_EQ(model.rowCount(first), 7);
    EXPECT_EQ(model.index(6, 0, first).data().toString(), "a6");
    EXPECT_EQ(model.rowCount(model.index(1, 0)), 0);
    EXPECT_EQ(model.index(0, 0, model.index(2, 0)).data().toString(), "b0");
    // Handles are the rows' own, in the order the rows came.
    EXPECT_EQ(model.Item(8)->Name, "empty");
    EXPECT_EQ(model.RowOf(model.index(0, 0, model.index(2, 0))), 10);
}

TEST(CatalogModel, StatusTextsAndImages) {
    test::TTempDir dir;
    TFolderFields folders{dir.Path() / "", {}, {}, {}};
    TCatalogModel model(tagCursor, "光标名称", folders);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    test::WriteFile(dir / "cache/cursor/done.zip", "PK");

    struct TCase {
        TCatalogItem Item;
        const char* Text;
        int NameImage, StatusImage;
    } cases[] = {
        {MakeItem("none"), "", 1, -1},
        {MakeItem("busy", dsDownloading, 7), "进度: 7%", 1, 3},
        {MakeItem("busy100", dsDownloading, 100), "进度:100%", 1, 3},
        {MakeItem("done", dsDone, 100, true), "下载成功", 2, 4},
        {MakeItem("failed", dsFailed), "下载失败", 1, 5},
        // Downloaded, but the package is gone from the cache: a paint shows
        // the record as it stands.
        {MakeItem("vanished", dsDone, 100), "下载成功", 1, 4},
    };
    for (const TCase& c : cases) {
        const TCatalogRow row = model.AddRow(NoRow, c.Item);
        EXPECT_EQ(model.IndexOf(row, 1).data().toString().toStdString(), c.Text) << c.Item.Name;
        EXPECT_EQ(model.GetImageIndex(row, 0), c.NameImage) << c.Item.Name;
        EXPECT_EQ(model.GetImageIndex(row, 1), c.StatusImage) << c.Item.Name;
    }

    // The explicit check turns only the vanished row back, and says so.
    int changed = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         EXPECT_EQ(from, model.IndexOf(5, 0));
                         EXPECT_EQ(to, model.IndexOf(5, 1));
                         ++changed;
                     });
    for (TCatalogRow row = 0; row < 6; ++row)
        EXPECT_EQ(model.RecheckPackage(row), row == 5) << row;
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(model.Item(5)->State, dsNone);
    EXPECT_EQ(model.IndexOf(5, 1).data().toString(), "");
    EXPECT_EQ(model.Item(3)->State, dsDone);
}

} // namespace
} // namespace velmora::test
