// LibreOffice Calc over UNO. Every office call runs on a worker thread of
// TimedCaller: a hung office costs one call limit, never a frozen window.
#include "calc_call.h"
#include "calc_provider.h"

#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/bridge/XBridgeFactory2.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/connection/XConnector.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XViewPane.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace css = ::com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace SHEET::CALC {

namespace {

OUString ToOU(const QString& s) {
    return OUString(reinterpret_cast<const sal_Unicode*>(s.utf16()), s.size());
}
QString ToQ(const OUString& s) {
    return QString(reinterpret_cast<const QChar*>(s.getStr()), s.getLength());
}

[[noreturn]] void Fail(const char* why) {
    throw css::uno::RuntimeException(OUString::createFromAscii(why));
}

// The local UNO runtime, made once and kept for the life of the process
// (tearing it down at exit while bridges may still hold it is not worth it).
Reference<css::uno::XComponentContext> LocalContext() {
    static std::mutex m;
    static Reference<css::uno::XComponentContext>* ctx = nullptr;
    std::lock_guard lock(m);
    if (!ctx) {
        ctx = new Reference<css::uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
    }
    return *ctx;
}

// One connection to an office. Touched only by the job running on the worker.
struct Conn {
    Reference<css::connection::XConnection> pipe;
    Reference<css::lang::XComponent> bridge;
    Reference<css::frame::XDesktop2> desktop;
    Reference<css::uno::XInterface> lastDoc;   // the workbook last found active
    // Interfaces of the controller last used, kept while it is still the
    // current one: asking the office for each of them costs a round trip.
    Reference<css::frame::XController> viewCtl;
    Reference<css::sheet::XSpreadsheetView> view;
    Reference<css::view::XSelectionSupplier> selection;
    Reference<css::sheet::XViewPane> pane;
    sal_Int32 timeFormat = -1;   // "HH:MM:SS" in the document of viewCtl; -1: not looked up yet
    // A loaded row found while its reading was taken (PrepareLoadRow).
    struct PreparedRow {
        int ticket = 0;
        std::vector<Reference<css::table::XCell>> cells;
        Reference<css::table::XCellRange> below;
    } prepared;
};

void Open(Conn& c, const OUString& pipeName) {
    Reference<css::uno::XComponentContext> local = LocalContext();
    Reference<css::connection::XConnector> connector = css::connection::Connector::create(local);
    Reference<css::connection::XConnection> pipe = connector->connect("pipe,name=" + pipeName);
    Reference<css::bridge::XBridgeFactory2> factory = css::bridge::BridgeFactory::create(local);
    Reference<css::bridge::XBridge> bridge = factory->createBridge("", "urp", pipe, nullptr);
    c.pipe = pipe;
    c.bridge.set(bridge, UNO_QUERY);
    try {
        Reference<css::uno::XComponentContext> remote(
            bridge->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
        c.desktop = css::frame::Desktop::create(remote);
    } catch (...) {
        if (c.bridge.is()) c.bridge->dispose();
        throw;
    }
}

std::vector<Reference<css::sheet::XSpreadsheetDocument>> Workbooks(Conn& c) {
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> out;
    Reference<css::container::XEnumerationAccess> comps = c.desktop->getComponents();
    if (!comps.is()) return out;
    Reference<css::container::XEnumeration> e = comps->createEnumeration();
    while (e.is() && e->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> d(e->nextElement(), UNO_QUERY);
        if (d.is()) out.push_back(d);
    }
    return out;
}

// Excel's ActiveWorkbook: the document in front when it is a spreadsheet,
// else the one last found active while it is still open, else any open one.
Reference<css::sheet::XSpreadsheetDocument> ActiveWorkbook(Conn& c) {
    Reference<css::sheet::XSpreadsheetDocument> cur(c.desktop->getCurrentComponent(), UNO_QUERY);
    if (cur.is()) {
        c.lastDoc = cur;
        return cur;
    }
    auto all = Workbooks(c);
    for (auto& d : all)
        if (c.lastDoc.is() && d == c.lastDoc) return d;
    if (all.empty()) {
        c.lastDoc.clear();
        return {};
    }
    c.lastDoc = all.front();
    return all.front();
}

Reference<css::frame::XController> ControllerOf(const Reference<css::sheet::XSpreadsheetDocument>& d) {
    Reference<css::frame::XModel> model(d, UNO_QUERY_THROW);
    Reference<css::frame::XController> ctl = model->getCurrentController();
    if (!ctl.is()) Fail("workbook has no view");
    return ctl;
}

Reference<css::frame::XController> ActiveController(Conn& c) {
    auto d = ActiveWorkbook(c);
    if (!d.is()) Fail("no workbook");
    return ControllerOf(d);
}

Reference<css::sheet::XSpreadsheet> ActiveSheetOf(Conn& c) {
    Reference<css::sheet::XSpreadsheetView> view(ActiveController(c), UNO_QUERY_THROW);
    Reference<css::sheet::XSpreadsheet> s = view->getActiveSheet();
    if (!s.is()) Fail("no active sheet");
    return s;
}

// The active workbook's controller with the interfaces a row needs; two
// round trips while the same controller stays current.
void ActiveView(Conn& c) {
    Reference<css::frame::XController> ctl = ActiveController(c);
    if (!c.viewCtl.is() || ctl != c.viewCtl) {
        c.view.set(ctl, UNO_QUERY_THROW);
        c.selection.set(ctl, UNO_QUERY_THROW);
        c.pane.set(ctl, UNO_QUERY_THROW);
        c.viewCtl = ctl;
        c.timeFormat = -1;
    }
}

// The number format that shows a time of day as the program writes it, in
// the document of the current view (ActiveView); looked up once per view.
sal_Int32 TimeFormat(Conn& c) {
    if (c.timeFormat >= 0) return c.timeFormat;
    Reference<css::util::XNumberFormatsSupplier> supplier(c.viewCtl->getModel(), UNO_QUERY_THROW);
    Reference<css::util::XNumberFormats> formats = supplier->getNumberFormats();
    if (!formats.is()) Fail("no number formats");
    // Format codes are read in the locale given with them, not the office's.
    const css::lang::Locale english("en", "US", "");
    const OUString code("HH:MM:SS");
    sal_Int32 key = formats->queryKey(code, english, false);
    if (key < 0) key = formats->addNew(code, english);
    c.timeFormat = key;
    return key;
}

// A cell's content as ContentOf reads the text; never parsed by the office,
// so its locale cannot turn a reading into text or a point into thousands.
struct CellInput {
    CellContent content;
    OUString text;
};

std::vector<CellInput> ToInputs(const QStringList& texts) {
    std::vector<CellInput> out;
    out.reserve(size_t(texts.size()));
    for (const QString& t : texts) out.push_back({ContentOf(t), ToOU(t)});
    return out;
}

// Needs the current view (ActiveView) for a time's number format.
void Put(Conn& c, const Reference<css::table::XCell>& cell, const CellInput& in) {
    switch (in.content.kind) {
    case CellContent::Empty:
        cell->setFormula(OUString());
        break;
    case CellContent::Number:
        cell->setValue(in.content.value);
        break;
    case CellContent::Time: {
        cell->setValue(in.content.value);
        Reference<css::beans::XPropertySet> props(cell, UNO_QUERY_THROW);
        props->setPropertyValue("NumberFormat", css::uno::Any(TimeFormat(c)));
        break;
    }
    case CellContent::Text: {
        Reference<css::text::XText> text(cell, UNO_QUERY_THROW);
        text->setString(in.text);
        break;
    }
    }
}

// Top-left cell (0-based row, column) of a selection.
std::pair<int, int> SelectionTopLeft(const css::uno::Any& any) {
    Reference<css::sheet::XCellRangeAddressable> range(any, UNO_QUERY);
    if (range.is()) {
        const auto a = range->getRangeAddress();
        return {int(a.StartRow), int(a.StartColumn)};
    }
    // Several ranges selected: the first one holds the cursor.
    Reference<css::sheet::XSheetCellRanges> ranges(any, UNO_QUERY);
    if (ranges.is()) {
        const auto all = ranges->getRangeAddresses();
        if (all.getLength() > 0) return {int(all[0].StartRow), int(all[0].StartColumn)};
    }
    Fail("the selection is not a cell");
}

// The cells of a loaded row from the active cell, and the cell below it.
Conn::PreparedRow FindLoadRow(Conn& c, size_t columns) {
    ActiveView(c);
    const auto [row0, column0] = SelectionTopLeft(c.selection->getSelection());
    Reference<css::sheet::XSpreadsheet> sheet = c.view->getActiveSheet();
    if (!sheet.is()) Fail("no active sheet");
    Conn::PreparedRow row;
    for (size_t k = 0; k < columns; ++k) {
        row.cells.push_back(sheet->getCellByPosition(column0 + sal_Int32(k), row0));
        if (!row.cells.back().is()) Fail("no cell");
    }
    row.below.set(sheet->getCellRangeByPosition(column0, row0 + 1, column0, row0 + 1), UNO_QUERY_THROW);
    return row;
}

// A row of cells on the active sheet of the current view (ActiveView).
void PutRow(Conn& c, int row0, int column0, const std::vector<CellInput>& inputs) {
    Reference<css::sheet::XSpreadsheet> sheet = c.view->getActiveSheet();
    if (!sheet.is()) Fail("no active sheet");
    for (size_t k = 0; k < inputs.size(); ++k) {
        Reference<css::table::XCell> cell = sheet->getCellByPosition(column0 + sal_Int32(k), row0);
        if (!cell.is()) Fail("no cell");
        Put(c, cell, inputs[k]);
    }
}

// Shared between the application objects and the provider: the options, the
// worker, and the connection kept between calls (dropped when it fails).
class Session {
public:
    explicit Session(Options o) : opt(std::move(o)) {}
    ~Session() {
        // Release the office's objects on the worker, while the UNO runtime is whole.
        if (conn) {
            auto old = std::move(conn);
            caller.Run([old]() mutable { old.reset(); }, 2000);
        }
    }

    // A fresh connection, or null when no office answers on the pipe in time.
    std::shared_ptr<Conn> Connect() {
        auto fresh = std::make_shared<Conn>();
        auto ok = std::make_shared<bool>(false);
        const OUString pipe = ToOU(opt.pipe);
        const bool inTime = caller.Run(
            [fresh, ok, pipe] {
                try {
                    Open(*fresh, pipe);
                    *ok = true;
                } catch (...) {
                }
            },
            opt.callLimitMs);
        // The pipe took the connection but the office never answered it.
        if (!inTime) hung = true;
        return inTime && *ok ? fresh : nullptr;
    }

    // The kept connection, re-attached when it was dropped. After a call
    // past the limit only an explicit Attach tries again: re-attaching to a
    // hung office from every call would cost a full limit per call.
    std::shared_ptr<Conn> Live() {
        if (!conn && !hung) conn = Connect();
        return conn;
    }

    void Drop(bool pastLimit) {
        std::shared_ptr<Conn> old = std::move(conn);
        conn.reset();
        if (pastLimit) hung = true;
        if (pastLimit && old) {
            // Closing the pipe ends the bridge, which releases the worker stuck in the call.
            std::thread([old] {
                BlockBrokenPipeSignal();
                try {
                    if (old->pipe.is()) old->pipe->close();
                } catch (...) {
                }
            }).detach();
        }
    }

    // Waits for the rows handed on before; false when the office hung on
    // one (the connection is then dropped as for any call past the limit).
    bool Settle() {
        if (!caller.Settle(opt.callLimitMs)) {
            Drop(true);
            return false;
        }
        if (postedDead->exchange(false)) Drop(false);
        return true;
    }

    // Runs body(Conn&) on the worker without waiting for it; what it finds
    // shows in the next call.
    template <class F>
    void Post(F body) {
        if (!Settle()) return;
        std::shared_ptr<Conn> c = Live();
        if (!c) return;
        auto dead = postedDead;
        if (!caller.Post(
                [c, body, dead] {
                    try {
                        body(*c);
                    } catch (const css::lang::DisposedException&) {
                        *dead = true;
                    } catch (...) {
                    }
                },
                opt.callLimitMs))
            Drop(true);
    }

    // Runs body(Conn&) on the worker against the live connection. Empty when
    // there is no office, the call threw, or it passed the limit.
    template <class T, class F>
    std::optional<T> Call(F body) {
        if (!Settle()) return std::nullopt;
        std::shared_ptr<Conn> c = Live();
        if (!c) return std::nullopt;
        struct Out {
            std::optional<T> value;
            bool dead = false;
        };
        auto out = std::make_shared<Out>();
        const bool inTime = caller.Run(
            [c, out, body] {
                try {
                    out->value = body(*c);
                } catch (const css::lang::DisposedException&) {
                    out->dead = true;   // office gone, or the object's document closed
                } catch (...) {
                }
            },
            opt.callLimitMs);
        if (!inTime) {
            Drop(true);
            return std::nullopt;
        }
        if (out->dead) Drop(false);
        return out->value;
    }

    bool Do(std::function<bool(Conn&)> body) { return Call<bool>(std::move(body)).value_or(false); }

    Options opt;
    TimedCaller caller;
    std::shared_ptr<Conn> conn;
    bool hung = false;   // the last office call or greeting passed the limit
    int lastTicket = 0;   // of PrepareLoadRow
    // A row handed on found the office or its document gone.
    std::shared_ptr<std::atomic<bool>> postedDead = std::make_shared<std::atomic<bool>>(false);
};

class CalcApplication : public Application {
public:
    explicit CalcApplication(std::shared_ptr<Session> s) : s_(std::move(s)) {}

    std::optional<int> WorkbooksCount() override {
        return s_->Call<int>([](Conn& c) { return int(Workbooks(c).size()); });
    }

    bool WorkbooksAdd() override {
        return s_->Do([](Conn& c) {
            Reference<css::frame::XComponentLoader> loader(c.desktop, UNO_QUERY_THROW);
            Reference<css::lang::XComponent> doc = loader->loadComponentFromURL(
                "private:factory/scalc", "_blank", 0, {});
            Reference<css::sheet::XSpreadsheetDocument> book(doc, UNO_QUERY);
            if (!book.is()) return false;
            c.lastDoc = book;
            return true;
        });
    }

    std::optional<int> WorksheetsCount() override {
        return s_->Call<int>([](Conn& c) {
            auto book = ActiveWorkbook(c);
            if (!book.is()) Fail("no workbook");
            Reference<css::container::XIndexAccess> sheets(book->getSheets(), UNO_QUERY_THROW);
            return int(sheets->getCount());
        });
    }

    // Like Excel: the new sheet goes before the active one and becomes active.
    bool WorksheetsAdd() override {
        return s_->Do([](Conn& c) {
            auto book = ActiveWorkbook(c);
            if (!book.is()) Fail("no workbook");
            Reference<css::sheet::XSpreadsheets> sheets = book->getSheets();
            Reference<css::container::XIndexAccess> byIndex(sheets, UNO_QUERY_THROW);
            Reference<css::sheet::XSpreadsheetView> view(ControllerOf(book), UNO_QUERY_THROW);
            sal_Int16 at = 0;
            Reference<css::sheet::XCellRangeAddressable> active(view->getActiveSheet(), UNO_QUERY);
            if (active.is()) at = active->getRangeAddress().Sheet;
            OUString name;
            for (int n = byIndex->getCount() + 1;; ++n) {
                name = "Sheet" + OUString::number(n);
                if (!sheets->hasByName(name)) break;
            }
            sheets->insertNewByName(name, at);
            Reference<css::sheet::XSpreadsheet> added(sheets->getByName(name), UNO_QUERY_THROW);
            view->setActiveSheet(added);
            return true;
        });
    }

    bool SetActiveSheetName(const QString& name) override {
        const OUString wanted = ToOU(name);
        return s_->Do([wanted](Conn& c) {
            Reference<css::container::XNamed> sheet(ActiveSheetOf(c), UNO_QUERY_THROW);
            if (sheet->getName() == wanted) return true;
            auto book = ActiveWorkbook(c);
            if (book->getSheets()->hasByName(wanted)) return false;
            sheet->setName(wanted);
            // Calc refuses some names without a word; only the name read back counts.
            return sheet->getName() == wanted;
        });
    }

    std::optional<QString> ActiveSheetName() override {
        auto name = s_->Call<OUString>([](Conn& c) {
            Reference<css::container::XNamed> sheet(ActiveSheetOf(c), UNO_QUERY_THROW);
            return sheet->getName();
        });
        if (!name) return std::nullopt;
        return ToQ(*name);
    }

    bool SetCellValue(int row, int column, const QString& text) override {
        if (row < 1 || column < 1) return false;
        return s_->Do([row, column, inputs = ToInputs({text})](Conn& c) {
            ActiveView(c);
            PutRow(c, row - 1, column - 1, inputs);
            return true;
        });
    }

    bool SelectCell(int row, int column) override {
        if (row < 1 || column < 1) return false;
        return s_->Do([row, column](Conn& c) {
            Reference<css::frame::XController> ctl = ActiveController(c);
            Reference<css::sheet::XSpreadsheetView> view(ctl, UNO_QUERY_THROW);
            Reference<css::table::XCellRange> cell(
                view->getActiveSheet()->getCellRangeByPosition(column - 1, row - 1, column - 1, row - 1),
                UNO_QUERY_THROW);
            Reference<css::view::XSelectionSupplier> sel(ctl, UNO_QUERY_THROW);
            return bool(sel->select(css::uno::Any(cell)));
        });
    }

    std::optional<std::pair<int, int>> ActiveCell() override {
        return s_->Call<std::pair<int, int>>([](Conn& c) {
            Reference<css::view::XSelectionSupplier> sel(ActiveController(c), UNO_QUERY_THROW);
            const auto [row0, column0] = SelectionTopLeft(sel->getSelection());
            return std::make_pair(row0 + 1, column0 + 1);
        });
    }

    // One worker job per row: the line waits for the office once, not per cell.
    bool SetRowValues(int row, int column, const QStringList& texts, bool scrollDown) override {
        if (row < 1 || column < 1) return false;
        return s_->Do(RowJob(row, column, texts, scrollDown));
    }

    void QueueRowValues(int row, int column, const QStringList& texts, bool scrollDown) override {
        if (row < 1 || column < 1) return;
        s_->Post(RowJob(row, column, texts, scrollDown));
    }

    int PrepareLoadRow(int columns) override {
        if (columns < 1) return 0;
        const int ticket = ++s_->lastTicket;
        s_->Post([ticket, columns](Conn& c) {
            c.prepared = {};
            Conn::PreparedRow row = FindLoadRow(c, size_t(columns));
            row.ticket = ticket;
            c.prepared = std::move(row);
            return true;
        });
        return ticket;
    }

    bool LoadRowAtActiveCell(const QStringList& texts, int prepared) override {
        return s_->Do([values = ToInputs(texts), prepared](Conn& c) {
            Conn::PreparedRow row = std::move(c.prepared);
            c.prepared = {};
            // Only the row prepared for this reading, on this connection.
            if (prepared == 0 || row.ticket != prepared || row.cells.size() != values.size())
                row = FindLoadRow(c, values.size());
            for (size_t k = 0; k < values.size(); ++k) Put(c, row.cells[k], values[k]);
            // The view the row was found in (ActiveView, during FindLoadRow).
            return bool(c.selection->select(css::uno::Any(row.below)));
        });
    }

    bool SmallScrollDown(int rows) override {
        return s_->Do([rows](Conn& c) {
            Reference<css::sheet::XViewPane> pane(ActiveController(c), UNO_QUERY_THROW);
            const sal_Int32 first = pane->getFirstVisibleRow();
            pane->setFirstVisibleRow(std::max<sal_Int32>(0, first + rows));
            return true;
        });
    }

    bool SetScrollRow(int row) override {
        if (row < 1) return false;
        return s_->Do([row](Conn& c) {
            Reference<css::sheet::XViewPane> pane(ActiveController(c), UNO_QUERY_THROW);
            pane->setFirstVisibleRow(row - 1);
            return true;
        });
    }

    bool SetVisible(bool visible) override {
        return s_->Do([visible](Conn& c) {
            for (auto& book : Workbooks(c)) {
                Reference<css::frame::XModel> model(book, UNO_QUERY);
                if (!model.is() || !model->getCurrentController().is()) continue;
                Reference<css::frame::XFrame> frame = model->getCurrentController()->getFrame();
                if (frame.is() && frame->getContainerWindow().is())
                    frame->getContainerWindow()->setVisible(visible);
            }
            return true;
        });
    }

private:
    static std::function<bool(Conn&)> RowJob(int row, int column, const QStringList& texts, bool scrollDown) {
        return [row, column, scrollDown, values = ToInputs(texts)](Conn& c) {
            ActiveView(c);
            PutRow(c, row - 1, column - 1, values);
            if (scrollDown) c.pane->setFirstVisibleRow(c.pane->getFirstVisibleRow() + 1);
            return true;
        };
    }

    std::shared_ptr<Session> s_;
};

// Running, not a zombie waiting for a parent that may never reap it.
bool ProcessAlive(qint64 pid) {
    if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)) return false;
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return true;
    const QByteArray stat = f.readAll();
    const int at = stat.lastIndexOf(')');
    return at < 0 || stat.mid(at + 2, 1) != "Z";
}

// The process and everything it started (the launcher runs the office as its child).
QList<pid_t> ProcessTree(pid_t root) {
    QList<pid_t> tree{root};
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (int i = 0; i < tree.size(); ++i) {
        for (const QString& e : entries) {
            bool ok = false;
            const pid_t pid = pid_t(e.toInt(&ok));
            if (!ok || tree.contains(pid)) continue;
            QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!f.open(QIODevice::ReadOnly)) continue;
            // "pid (name) state ppid ...": the name may hold blanks, so start after the last ')'.
            const QByteArray stat = f.readAll();
            const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
            if (rest.size() > 1 && rest[1].toInt() == tree[i]) tree << pid;
        }
    }
    return tree;
}

class OfficeProvider : public CalcProvider {
public:
    explicit OfficeProvider(const Options& o) : s_(std::make_shared<Session>(o)) {}

    std::shared_ptr<Application> Attach() override {
        if (s_->conn) {
            // A kept connection may be to an office that has gone since.
            const int pastLimit = s_->caller.Abandoned();
            const bool alive = s_->Do([](Conn& c) {
                c.desktop->getCurrentComponent();
                return true;
            });
            if (alive) return std::make_shared<CalcApplication>(s_);
            if (s_->caller.Abandoned() != pastLimit) return nullptr;   // hung: one limit is enough
            s_->Drop(false);
        }
        s_->hung = false;   // an explicit attach always tries again
        if (!s_->Live()) return nullptr;
        return std::make_shared<CalcApplication>(s_);
    }

    std::shared_ptr<Application> Create() override {
        const Options& o = s_->opt;
        // An office that holds the pipe but does not answer: a second one
        // could not take the pipe, and starting it would only add a wait.
        if (s_->hung) return nullptr;
        const QString program =
            o.soffice.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("soffice")) : o.soffice;
        if (program.isEmpty() || !QFileInfo(program).isExecutable()) return nullptr;

        QStringList args{QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(o.pipe),
                         QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                         QStringLiteral("--nodefault")};
        args += o.extraArgs;
        QProcess p;
        p.setProgram(program);
        p.setArguments(args);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("URE_BOOTSTRAP"));   // ours, for the client side only
        p.setProcessEnvironment(env);
        // The office's console chatter is not the program's.
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        qint64 pid = 0;
        // Detached, the office runs in a session of its own (Qt calls setsid):
        // a Ctrl+C or hang-up meant for the program does not reach it.
        if (!p.startDetached(&pid)) return nullptr;
        startedPid_ = pid;

        // An office already open without the pipe takes the request over and
        // our process ends at once; give that office a moment to open the pipe.
        constexpr qint64 graceAfterExitMs = 5000;
        QElapsedTimer t;
        t.start();
        qint64 goneAt = -1;
        while (t.elapsed() < o.startLimitMs) {
            s_->hung = false;
            if (auto c = s_->Connect()) {
                s_->conn = c;
                return std::make_shared<CalcApplication>(s_);
            }
            if (goneAt < 0 && !ProcessAlive(pid)) goneAt = t.elapsed();
            if (goneAt >= 0 && t.elapsed() - goneAt > graceAfterExitMs) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        // Never answered (a profile it cannot write makes it spin for ever):
        // it is ours and of no use to anyone, so it does not stay behind.
        if (ProcessAlive(pid)) KillProcessTree(pid);
        return nullptr;
    }

    bool WaitForQueued() override { return s_->Settle(); }

    long long StartedPid() const override { return startedPid_; }
    int TimedOutCalls() const override { return s_->caller.Abandoned(); }

private:
    std::shared_ptr<Session> s_;
    long long startedPid_ = 0;
};

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariable(name).toInt(&ok);
    return ok && v > 0 ? v : fallback;
}

}  // namespace

// ---- the operator's hand, for tests ----

struct OperatorProbe::Impl {
    explicit Impl(const Options& o) : session(o) {}
    Session session;
};

OperatorProbe::OperatorProbe(const Options& options) : d(std::make_unique<Impl>(options)) {}
OperatorProbe::~OperatorProbe() = default;

bool OperatorProbe::Connected() { return d->session.Live() != nullptr; }

std::optional<OperatorProbe::Cell> OperatorProbe::ReadCell(int row, int column) {
    struct Raw {
        int kind;
        double value;
        OUString shown;
    };
    auto raw = d->session.Call<Raw>([row, column](Conn& c) {
        Reference<css::table::XCell> cell = ActiveSheetOf(c)->getCellByPosition(column - 1, row - 1);
        Reference<css::text::XText> text(cell, UNO_QUERY_THROW);
        int kind = Cell::Empty;
        switch (cell->getType()) {
        case css::table::CellContentType_VALUE: kind = Cell::Value; break;
        case css::table::CellContentType_TEXT: kind = Cell::Text; break;
        case css::table::CellContentType_FORMULA: kind = Cell::Formula; break;
        default: break;
        }
        return Raw{kind, cell->getValue(), text->getString()};
    });
    if (!raw) return std::nullopt;
    return Cell{Cell::Kind(raw->kind), raw->value, ToQ(raw->shown)};
}

OperatorProbe::Cell OperatorProbe::At(int row, int column) {
    return ReadCell(row, column).value_or(Cell{Cell::Unreadable, 0, QStringLiteral("<unreadable>")});
}

std::optional<QStringList> OperatorProbe::SheetNames() {
    auto names = d->session.Call<css::uno::Sequence<OUString>>([](Conn& c) {
        auto book = ActiveWorkbook(c);
        if (!book.is()) Fail("no workbook");
        return book->getSheets()->getElementNames();
    });
    if (!names) return std::nullopt;
    QStringList out;
    for (const OUString& n : *names) out << ToQ(n);
    return out;
}

bool OperatorProbe::ActivateSheet(const QString& name) {
    const OUString wanted = ToOU(name);
    return d->session.Do([wanted](Conn& c) {
        auto book = ActiveWorkbook(c);
        if (!book.is()) Fail("no workbook");
        Reference<css::sheet::XSpreadsheet> sheet(book->getSheets()->getByName(wanted), UNO_QUERY_THROW);
        Reference<css::sheet::XSpreadsheetView> view(ControllerOf(book), UNO_QUERY_THROW);
        view->setActiveSheet(sheet);
        return true;
    });
}

bool OperatorProbe::SelectRange(int top, int left, int bottom, int right) {
    return d->session.Do([=](Conn& c) {
        Reference<css::frame::XController> ctl = ActiveController(c);
        Reference<css::sheet::XSpreadsheetView> view(ctl, UNO_QUERY_THROW);
        Reference<css::table::XCellRange> range =
            view->getActiveSheet()->getCellRangeByPosition(left - 1, top - 1, right - 1, bottom - 1);
        Reference<css::view::XSelectionSupplier> sel(ctl, UNO_QUERY_THROW);
        return bool(sel->select(css::uno::Any(range)));
    });
}

bool OperatorProbe::Type(int row, int column, const QString& text) {
    const OUString typed = ToOU(text);
    return d->session.Do([row, column, typed](Conn& c) {
        Reference<css::beans::XPropertySet> cell(ActiveSheetOf(c)->getCellByPosition(column - 1, row - 1),
                                                 UNO_QUERY_THROW);
        cell->setPropertyValue("FormulaLocal", css::uno::Any(typed));
        return true;
    });
}

std::optional<int> OperatorProbe::FirstVisibleRow() {
    return d->session.Call<int>([](Conn& c) {
        Reference<css::sheet::XViewPane> pane(ActiveController(c), UNO_QUERY_THROW);
        return int(pane->getFirstVisibleRow()) + 1;
    });
}

bool OperatorProbe::CloseActiveWorkbook() {
    return d->session.Do([](Conn& c) {
        auto book = ActiveWorkbook(c);
        if (!book.is()) return false;
        Reference<css::util::XModifiable> mod(book, UNO_QUERY);
        if (mod.is()) mod->setModified(false);
        Reference<css::util::XCloseable> closeable(book, UNO_QUERY_THROW);
        c.lastDoc.clear();
        closeable->close(true);
        return true;
    });
}

bool OperatorProbe::MarkAllUnmodified() {
    return d->session.Do([](Conn& c) {
        for (auto& book : Workbooks(c)) {
            Reference<css::util::XModifiable> mod(book, UNO_QUERY);
            if (mod.is()) mod->setModified(false);
        }
        return true;
    });
}

Options OptionsFromEnvironment() {
    Options o;
    if (qEnvironmentVariableIsSet("ORVEN5927_CALC_PIPE") && !qEnvironmentVariable("ORVEN5927_CALC_PIPE").isEmpty())
        o.pipe = qEnvironmentVariable("ORVEN5927_CALC_PIPE");
    if (qEnvironmentVariableIsSet("ORVEN5927_SOFFICE")) {
        o.soffice = qEnvironmentVariable("ORVEN5927_SOFFICE");
        // Set but empty means "no office program": nothing is started.
        if (o.soffice.isEmpty()) o.soffice = QStringLiteral("/nonexistent/soffice");
    }
    o.extraArgs = QProcess::splitCommand(qEnvironmentVariable("ORVEN5927_CALC_ARGS"));
    o.callLimitMs = EnvInt("ORVEN5927_CALC_CALL_MS", o.callLimitMs);
    o.startLimitMs = EnvInt("ORVEN5927_CALC_START_MS", o.startLimitMs);
    return o;
}

namespace {
// The office's named pipes (socket files "OSL_PIPE_*": the accept pipe and
// its single-instance pipe) that these processes hold, found by matching
// their descriptors against the kernel's table of bound sockets.
QList<QByteArray> PipeFilesOf(const QList<pid_t>& pids) {
    QSet<QByteArray> inodes;
    for (pid_t p : pids) {
        const QString fdDir = QStringLiteral("/proc/%1/fd").arg(p);
        for (const QString& fd : QDir(fdDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[64];
            const ssize_t n = ::readlink(QFile::encodeName(fdDir + '/' + fd).constData(), target, sizeof target - 1);
            if (n <= 0) continue;
            const QByteArray link(target, int(n));
            if (link.startsWith("socket:[") && link.endsWith(']')) inodes << link.mid(8, link.size() - 9);
        }
    }
    QList<QByteArray> files;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (inodes.isEmpty() || !table.open(QIODevice::ReadOnly)) return files;
    // "Num RefCount Protocol Flags Type St Inode Path"
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 8 && inodes.contains(f[6]) && f[7].contains("/OSL_PIPE_") && !files.contains(f[7]))
            files << f[7];
    }
    return files;
}
}  // namespace

void KillProcessTree(long long pid) {
    if (pid <= 0) return;
    // Stop first so nothing forks past the list, then kill what was listed.
    const QList<pid_t> tree = ProcessTree(pid_t(pid));
    for (pid_t p : tree) ::kill(p, SIGSTOP);
    const QList<pid_t> all = ProcessTree(pid_t(pid));
    // A killed office leaves its pipes' socket files behind.
    const QList<QByteArray> pipes = PipeFilesOf(all);
    for (pid_t p : all) ::kill(p, SIGKILL);
    for (pid_t p : tree) ::kill(p, SIGKILL);
    for (const QByteArray& file : pipes) ::unlink(file.constData());
}

std::shared_ptr<CalcProvider> MakeCalcProvider(const Options& options) {
    // Without it the first office call crashes the client. Set here, on the
    // caller's thread, before any worker reads the environment.
    if (!qEnvironmentVariableIsSet("URE_BOOTSTRAP"))
        qputenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" ORVEN_LO_PROGRAM_DIR "/fundamentalrc");
    return std::make_shared<OfficeProvider>(options);
}

}  // namespace SHEET::CALC

namespace SHEET {
std::shared_ptr<Provider> MakeDefaultProvider() { return CALC::MakeCalcProvider(CALC::OptionsFromEnvironment()); }
}  // namespace SHEET

#if defined(__SANITIZE_ADDRESS__)
// The UNO runtime keeps type descriptions and interned strings in caches that
// live until the process ends; the leak checker would take them for leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libuno_cppu.so\nleak:libuno_sal.so\nleak:libuno_cppuhelpergcc3.so\nleak:libbinaryurplo.so\n";
}
#endif
