#include "app/wallpaper/uResultGrid.h"

#include "catalog/uStream.h"
#include "catalog/uWinHttp.h"
#include "install/uPubFunc.h"

#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <cstring>
#include <thread>

namespace velmora {

// Each thumbnail address goes to the debug output (QT_LOGGING_RULES
// "velmora.thumbnails.debug=true" shows them).
Q_LOGGING_CATEGORY(lcThumbnails, "velmora.thumbnails", QtWarningMsg)

namespace {

void CheckIndex(int index) {
    if (index < 0 || index >= ResultsPerRow)
        throw ERangeError();
}

// A thumbnail body beyond this is no thumbnail; the download is dropped
// rather than held in memory.
constexpr std::uint64_t MaxThumbnailBytes = 16u * 1024 * 1024;

// Thrown through the HTTP client to end a download nobody waits for.
struct TAbandoned {};

} // namespace

// ---- TNodeInfos ------------------------------------------------------------

QImage BlankThumbnail() {
    QImage image(ThumbWidth, ThumbHeight, QImage::Format_RGB32);
    image.fill(0xFF000000u);
    return image;
}

TNodeInfos::TNodeInfos() {
    for (QImage& b : FBitmaps)
        b = BlankThumbnail();
}

QImage& TNodeInfos::Bitmaps(int index) {
    CheckIndex(index);
    return FBitmaps[std::size_t(index)];
}

TPicInfo TNodeInfos::GetInfo(int index) const {
    CheckIndex(index);
    return FInfos[std::size_t(index)];
}

void TNodeInfos::SetInfo(int index, const TPicInfo& info) {
    CheckIndex(index);
    FInfos[std::size_t(index)] = info;
}

void CenterCopy(const QImage& picture, QImage& bitmap) {
    if (picture.isNull() || picture.height() == 0 || bitmap.isNull())
        return;
    if (bitmap.format() != QImage::Format_RGB32)
        bitmap = bitmap.convertToFormat(QImage::Format_RGB32);
    const int w = picture.width(), h = picture.height();
    const int bw = bitmap.width(), bh = bitmap.height();
    int sx = 0, tx = 0, cw = w;
    if (w > bw) {
        sx = (w - bw) / 2;
        cw = bw;
    } else if (w < bw) {
        tx = (bw - w) / 2;
    }
    int sy = 0, ty = 0, ch = h;
    if (h > bh) {
        sy = (h - bh) / 2;
        ch = bh;
    } else if (h < bh) {
        ty = (bh - h) / 2;
    }
    // Pixel for pixel, never scaled. The decoded picture is premultiplied over
    // transparent black, so its colour bytes are the picture laid on black.
    const QImage source = picture.format() == QImage::Format_ARGB32_Premultiplied ||
                                  picture.format() == QImage::Format_RGB32
                              ? picture
                              : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < ch; ++y) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(source.constScanLine(sy + y)) + sx;
        auto* dst = reinterpret_cast<std::uint32_t*>(bitmap.scanLine(ty + y)) + tx;
        for (int x = 0; x < cw; ++x)
            dst[x] = src[x] | 0xFF000000u;
    }
}

// ---- TResultGrid -------------------------------------------------------------

TResultGrid::TResultGrid(QWidget* parent)
    : QAbstractScrollArea(parent), FHandle(std::make_shared<THandle>()) {
    FHandle->Grid = this;
    setObjectName("vstResult");
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(GridRowHeight / 4);
}

TResultGrid::~TResultGrid() {
    // Thumbnails still on their way find no grid any more.
    FHandle->Grid = nullptr;
}

TNodeInfos* TResultGrid::Node(int row) const {
    return row >= 0 && row < RowCount() ? FRows[std::size_t(row)].get() : nullptr;
}

void TResultGrid::ReplaceRows(std::vector<std::unique_ptr<TNodeInfos>> rows) {
    ++FGeneration;
    FRows = std::move(rows);
    FHotRow = FHotColumn = -1;
    FFocusedRow = FFocusedColumn = -1;
    FPressRow = FPressColumn = -1;
    UpdateScrollBar();
    verticalScrollBar()->setValue(0);
    // The cell under a still mouse is hot in the new rows as well.
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    if (viewport()->underMouse()) {
        int r, c;
        if (CellAt(pos, r, c))
            SetHot(r, c);
    }
    viewport()->update();
}

QRect TResultGrid::CellRect(int row, int column) const {
    return QRect(column * GridColumnWidth, row * GridRowHeight - verticalScrollBar()->value(),
                 GridColumnWidth, GridRowHeight);
}

bool TResultGrid::SetThumbnail(std::uint64_t generation, int row, int slot, const QImage& bitmap) {
    TNodeInfos* node = Node(row);
    if (generation != FGeneration || !node || slot < 0 || slot >= ResultsPerRow)
        return false;
    node->Bitmaps(slot) = bitmap;
    ++FThumbnailCount;
    RepaintRow(row);
    return true;
}

void TResultGrid::RepaintRow(int row) {
    viewport()->update(QRect(0, row * GridRowHeight - verticalScrollBar()->value(),
                             viewport()->width(), GridRowHeight));
}

bool TResultGrid::CellAt(const QPoint& pos, int& row, int& column) const {
    if (pos.x() < 0 || pos.y() < 0)
        return false;
    column = pos.x() / GridColumnWidth;
    row = (pos.y() + verticalScrollBar()->value()) / GridRowHeight;
    return column < ResultsPerRow && row < RowCount();
}

void TResultGrid::SetHot(int row, int column) {
    if (row == FHotRow && column == FHotColumn)
        return;
    const int oldRow = FHotRow;
    FHotRow = row;
    FHotColumn = column;
    if (oldRow >= 0)
        RepaintRow(oldRow);
    if (row >= 0 && row != oldRow)
        RepaintRow(row);
}

void TResultGrid::UpdateScrollBar() {
    const int content = RowCount() * GridRowHeight;
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setRange(0, std::max(0, content - viewport()->height()));
}

void TResultGrid::paintEvent(QPaintEvent* event) {
    ++FPaintCount;
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    painter.fillRect(dirty, Qt::white);
    // Rectangles drawn by the cell handler are filled with the cell's background.
    painter.setBrush(Qt::white);
    const int top = verticalScrollBar()->value();
    const int first = std::max(0, (dirty.top() + top) / GridRowHeight);
    const int last = std::min(RowCount() - 1, (dirty.bottom() + top) / GridRowHeight);
    for (int row = first; row <= last; ++row)
        for (int column = 0; column < ResultsPerRow; ++column) {
            const QRect cell = CellRect(row, column);
            if (!cell.intersects(dirty) || !OnAfterCellPaint)
                continue;
            painter.save();
            painter.setClipRect(cell);
            OnAfterCellPaint(*this, painter, cell, row, column, *FRows[std::size_t(row)]);
            painter.restore();
        }
}

void TResultGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
}

void TResultGrid::mouseMoveEvent(QMouseEvent* event) {
    int row, column;
    if (CellAt(event->position().toPoint(), row, column))
        SetHot(row, column);
    else
        SetHot(-1, -1);
    QAbstractScrollArea::mouseMoveEvent(event);
}

void TResultGrid::leaveEvent(QEvent* event) {
    SetHot(-1, -1);
    QAbstractScrollArea::leaveEvent(event);
}

void TResultGrid::mousePressEvent(QMouseEvent* event) {
    FPressRow = FPressColumn = -1;
    int row, column;
    if (event->button() == Qt::LeftButton && CellAt(event->position().toPoint(), row, column)) {
        FFocusedRow = FPressRow = row;
        FFocusedColumn = FPressColumn = column;
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TResultGrid::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    int row, column;
    const bool sameCell = event->button() == Qt::LeftButton && CellAt(pos, row, column) &&
                          row == FPressRow && column == FPressColumn;
    FPressRow = FPressColumn = -1;
    QAbstractScrollArea::mouseReleaseEvent(event);
    if (sameCell && OnColumnClick)
        OnColumnClick(*this, column, pos);
}

void TResultGrid::scrollContentsBy(int, int) {
    viewport()->update();
}

// ---- TDownPicThread ------------------------------------------------------------

std::atomic<int> TDownPicThread::FRunning{0};

std::shared_ptr<TDownPicThread> TDownPicThread::Start(TResultGrid& grid,
                                                      std::shared_ptr<IMainDispatcher> dispatcher) {
    // The loader reads the addresses once, here on the main thread; it never
    // reads a row again.
    std::vector<TThumbJob> jobs;
    for (int row = 0; row < grid.RowCount(); ++row)
        for (int slot = 0; slot < ResultsPerRow; ++slot) {
            std::string url = Trim(grid.Node(row)->GetInfo(slot).ThumbUrl);
            if (!url.empty())
                jobs.push_back({row, slot, std::move(url)});
        }
    auto loader = std::make_shared<TDownPicThread>(TKey{}, std::move(jobs), grid.Generation(),
                                                   grid.Handle(), std::move(dispatcher));
    try {
        std::thread([loader] { loader->Execute(); }).detach();
    } catch (...) {
        // No thread: no thumbnails, the rows stay blank.
        loader->FFinished = true;
    }
    return loader;
}

TDownPicThread::TDownPicThread(TKey, std::vector<TThumbJob> jobs, std::uint64_t generation,
                               std::shared_ptr<TResultGrid::THandle> grid,
                               std::shared_ptr<IMainDispatcher> dispatcher)
    : FJobs(std::move(jobs)), FGeneration(generation), FGrid(std::move(grid)),
      FDispatcher(std::move(dispatcher)) {
    ++FRunning;
}

TDownPicThread::~TDownPicThread() {
    --FRunning;
}

bool TDownPicThread::WaitForAll(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (FRunning.load() > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

QImage TDownPicThread::LoadThumbnail(const std::string& address, const std::atomic<bool>* stop) {
    TMemoryStream stream;
    TWinHttp http;
    http.SetReferer(address);
    http.SetAccept("*.*");
    http.OnProgress = [stop](TWinHttp&, const std::string&, std::int64_t sofar, std::int64_t) {
        if ((stop && stop->load()) || std::uint64_t(sofar) > MaxThumbnailBytes)
            throw TAbandoned{};
    };
    try {
        http.GetStream(address, stream);
    } catch (...) {
        return {};
    }
    if (stream.Size() == 0)
        return {};
    const TGPBitmap decoder(std::string_view(stream.Data()));
    if (decoder.GetWidth() == 0 || decoder.GetHeight() == 0)
        return {};
    QImage bitmap = BlankThumbnail();
    CenterCopy(decoder.GetHBITMAP(0), bitmap);
    return bitmap;
}

void TDownPicThread::Execute() {
    try {
        for (const TThumbJob& job : FJobs) {
            if (FTerminated)
                break;
            qCDebug(lcThumbnails, "%s", job.Url.c_str());
            QImage bitmap = LoadThumbnail(job.Url, &FTerminated);
            if (bitmap.isNull() || FTerminated)
                continue;
            // The main thread writes it into the row, if the row is still shown.
            const bool delivered = FDispatcher->RunOnMain([&] {
                if (TResultGrid* grid = FGrid->Grid)
                    grid->SetThumbnail(FGeneration, job.Row, job.Slot, bitmap);
            });
            if (!delivered)
                break; // the program is closing
        }
    } catch (...) {
        // Nothing may leave the thread; the remaining thumbnails stay blank.
    }
    FFinished = true;
}

// ---- TGridSearchManager ----------------------------------------------------------

TGridSearchManager::TGridSearchManager(TResultGrid& grid,
                                       std::shared_ptr<IMainDispatcher> dispatcher)
    : FGrid(grid), FDispatcher(std::move(dispatcher)) {}

TGridSearchManager::~TGridSearchManager() {
    StopLoader();
}

void TGridSearchManager::StopLoader() {
    // One stop request and one wait; the old loader may go on with its current
    // download, but what it brings is for rows that are no longer shown.
    if (FLoader && !FLoader->Finished() && !FLoader->Terminated()) {
        FLoader->Terminate();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    FLoader.reset();
}

void TGridSearchManager::ShowResults(const std::vector<TPicInfo>& results) {
    StopLoader();
    std::vector<std::unique_ptr<TNodeInfos>> rows;
    for (std::size_t k = 0; k < results.size(); ++k) {
        if (k % ResultsPerRow == 0)
            rows.push_back(std::make_unique<TNodeInfos>());
        rows.back()->SetInfo(int(k % ResultsPerRow), results[k]);
    }
    FGrid.ReplaceRows(std::move(rows));
    FLoader = TDownPicThread::Start(FGrid, FDispatcher);
}

} // namespace velmora
