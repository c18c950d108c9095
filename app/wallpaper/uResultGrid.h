#pragma once
// The result side of the wallpaper search: the grid rows (TNodeInfos), the
// grid control vstResult, the thumbnail loader TDownPicThread and the result
// manager that replaces the rows and starts a loader.
//
// Threads: rows, bitmaps and the grid belong to the main thread. A loader
// works from a copy of the thumbnail addresses made when it starts, decodes
// into images of its own and hands each finished thumbnail to the main thread
// through the dispatcher, tagged with the generation of the rows it was made
// for; the main thread drops a thumbnail whose rows are no longer shown.
#include "catalog/uDispatcher.h"
#include "controls/Imaging.h"
#include "wallpaper/uSearchManager.h"

#include <QAbstractScrollArea>
#include <QImage>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora {

// Thumbnail bitmap size and grid cell size.
constexpr int ThumbWidth = 130;
constexpr int ThumbHeight = 80;
constexpr int GridColumnWidth = 138;
constexpr int GridRowHeight = 88;

// Raised for a slot index outside 0 to 4.
class ERangeError : public std::out_of_range {
public:
    ERangeError() : std::out_of_range("索引超出范围") {}
};

// One grid row: five results and their thumbnails.
class TNodeInfos {
public:
    TNodeInfos();

    QImage& Bitmaps(int index);
    TPicInfo GetInfo(int index) const;
    void SetInfo(int index, const TPicInfo& info);

private:
    std::array<QImage, ResultsPerRow> FBitmaps;
    std::array<TPicInfo, ResultsPerRow> FInfos;
};

// A blank thumbnail bitmap (black, as a new 32-bit bitmap is).
QImage BlankThumbnail();

// Copies the picture one to one into the 130 x 80 bitmap: the middle of a
// larger picture, a smaller one centred; the rest of the bitmap keeps what it
// held. Halvings drop the remainder. A null picture changes nothing.
void CenterCopy(const QImage& picture, QImage& bitmap);

class TResultGrid;

// What the grid paints after its own background, per cell with a result row.
using TAfterCellPaint = std::function<void(TResultGrid& grid, QPainter& canvas, const QRect& cell,
                                           int row, int column, TNodeInfos& node)>;
// A click on a cell: its column; the row is the focused row; pos is where the
// click landed, in viewport coordinates.
using TColumnClick = std::function<void(TResultGrid& grid, int column, const QPoint& pos)>;

// vstResult: five 138-pixel columns, 88-pixel rows, no header, a vertical
// scroll bar only, one hot cell under the mouse, a click focuses one cell, no
// focus rectangle and no selection drawn.
class TResultGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TResultGrid(QWidget* parent = nullptr);
    ~TResultGrid() override;

    int RowCount() const { return static_cast<int>(FRows.size()); }
    TNodeInfos* Node(int row) const;
    // Removes every row and shows these instead; a new generation of rows.
    void ReplaceRows(std::vector<std::unique_ptr<TNodeInfos>> rows);
    // Counts every ReplaceRows; thumbnails made for another generation are dropped.
    std::uint64_t Generation() const { return FGeneration; }

    // The hot cell (under the mouse) and the focused cell; row -1 for none.
    int HotRow() const { return FHotRow; }
    int HotColumn() const { return FHotColumn; }
    bool IsHot(int row, int column) const { return row == FHotRow && column == FHotColumn; }
    int FocusedRow() const { return FFocusedRow; }
    int FocusedColumn() const { return FFocusedColumn; }

    // The cell's rectangle in viewport coordinates.
    QRect CellRect(int row, int column) const;
    // Writes a loaded thumbnail into its row and repaints that row, when the
    // thumbnail belongs to the rows shown; false when it was dropped.
    bool SetThumbnail(std::uint64_t generation, int row, int slot, const QImage& bitmap);
    void RepaintRow(int row);

    TAfterCellPaint OnAfterCellPaint;
    TColumnClick OnColumnClick;

    // Paint passes of the viewport and thumbnails written so far (for the
    // benchmark).
    int PaintCount() const { return FPaintCount; }
    int ThumbnailCount() const { return FThumbnailCount; }

    // The grid's handle for loaders: cleared when the grid goes.
    struct THandle {
        TResultGrid* Grid = nullptr;
    };
    std::shared_ptr<THandle> Handle() const { return FHandle; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // The cell under a viewport point; false when no row is there.
    bool CellAt(const QPoint& pos, int& row, int& column) const;
    void SetHot(int row, int column);
    void UpdateScrollBar();

    std::vector<std::unique_ptr<TNodeInfos>> FRows;
    std::uint64_t FGeneration = 0;
    int FHotRow = -1, FHotColumn = -1;
    int FFocusedRow = -1, FFocusedColumn = -1;
    int FPressRow = -1, FPressColumn = -1;
    int FPaintCount = 0;
    int FThumbnailCount = 0;
    std::shared_ptr<THandle> FHandle;
};

// One thumbnail the loader fetches.
struct TThumbJob {
    int Row = 0;
    int Slot = 0;
    std::string Url; // trimmed, not empty
};

// The thumbnail loader of one set of rows. It runs on a thread of its own and
// frees itself when it ends; whoever keeps a reference only asks it to stop.
class TDownPicThread {
public:
    // Starts loading the thumbnails of the grid's rows, in row and slot order.
    // Main thread only.
    static std::shared_ptr<TDownPicThread> Start(TResultGrid& grid,
                                                 std::shared_ptr<IMainDispatcher> dispatcher);

    // Asks the loader to stop: it downloads nothing more.
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    bool Finished() const { return FFinished; }

    // Loaders whose threads have not ended yet; waits (bounded) until none.
    static int Running() { return FRunning.load(); }
    static bool WaitForAll(std::chrono::milliseconds timeout);

    // Fetches one thumbnail with a client of its own and centres it in a blank
    // bitmap; a null image when nothing came or it is no picture. `stop` ends
    // a running download early.
    static QImage LoadThumbnail(const std::string& address,
                                const std::atomic<bool>* stop = nullptr);

    struct TKey {
        explicit TKey() = default;
    };
    TDownPicThread(TKey, std::vector<TThumbJob> jobs, std::uint64_t generation,
                   std::shared_ptr<TResultGrid::THandle> grid,
                   std::shared_ptr<IMainDispatcher> dispatcher);
    ~TDownPicThread();

private:
    void Execute();

    std::vector<TThumbJob> FJobs;
    std::uint64_t FGeneration;
    std::shared_ptr<TResultGrid::THandle> FGrid; // read on the main thread only
    std::shared_ptr<IMainDispatcher> FDispatcher;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};

    static std::atomic<int> FRunning;
};

// The result manager of the window: LoadInto replaces the grid's rows by the
// pending results and starts a loader for them.
class TGridSearchManager : public TSearchManager {
public:
    TGridSearchManager(TResultGrid& grid, std::shared_ptr<IMainDispatcher> dispatcher);
    // Stops the loader as LoadInto does.
    ~TGridSearchManager() override;

    const std::shared_ptr<TDownPicThread>& Loader() const { return FLoader; }

protected:
    void ShowResults(const std::vector<TPicInfo>& results) override;

private:
    void StopLoader();

    TResultGrid& FGrid;
    std::shared_ptr<IMainDispatcher> FDispatcher;
    std::shared_ptr<TDownPicThread> FLoader;
};

} // namespace velmora
