// The item grid driven as the user drives it: double-clicks and title clicks that mark items,
// the keys the grid takes and the ones it discards, the columns that edit in place, the check
// run on leaving a column, and the drawing of the marker and reservation cells.

#include "MaintenanceFixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/Units.h"

#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QtTest>

using namespace sup::host;
using sup::data::DataSetState;
using sup::data::TWorkingSet;
using sup::testkit::ScriptedHost;

namespace {

// The marks of every item, in order ("SNN").
QString marks(const TWorkingSet& items) {
    const int calc = items.fieldIndex(u"CALC");
    QString out;
    for (int r = 0; r < items.recordCount(); ++r)
        out += items.textAt(r, calc, false).trimmed();
    return out;
}

int columnOf(const TDBGrid* grid, const char* field) {
    return grid->columnIndexOfField(QString::fromLatin1(field));
}

QPoint cellCenter(TDBGrid* grid, int row, const char* field) {
    const QModelIndex index = grid->model()->index(row, columnOf(grid, field));
    grid->scrollTo(index);
    return grid->visualRect(index).center();
}

void clickCell(TDBGrid* grid, int row, const char* field) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCenter(grid, row, field));
}

void doubleClickCell(TDBGrid* grid, int row, const char* field) {
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellCenter(grid, row, field));
}

void clickTitle(TDBGrid* grid, const char* field) {
    const int c = columnOf(grid, field);
    grid->scrollTo(grid->model()->index(0, c));
    QHeaderView* header = grid->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// The cell editor the grid has open.
QLineEdit* openEditor(TDBGrid* grid) {
    for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible())
            return e;
    return nullptr;
}

// Pixels of an image that are strongly red.
int redPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.red() > 200 && c.green() < 80 && c.blue() < 80 ? 1 : 0;
        }
    return n;
}

// Pixels that differ from the background colour.
int inkPixels(const QImage& image, const QColor& background) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) != background ? 1 : 0;
    return n;
}

} // namespace

class TestGrid : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<ScriptedHost> host;
    TfrmAltPedidosOL* s = nullptr;

    TWorkingSet& items() const { return *s->data().cdsItem; }
    TDBGrid* grid() const { return s->dbgPadrao; }

    // The screen on view with `rows` items loaded; the log starts empty.
    void showWith(int rows, const QString& reservation = QStringLiteral("S")) {
        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        s = frmAltPedidosOL;
        QVERIFY(s);
        s->resize(1400, 500);
        s->show();
        QVERIFY(QTest::qWaitForWindowExposed(s));
        QCoreApplication::processEvents(); // the first activation (its filter is cancelled)
        items().loadFromPacket(suptest::itemPacket(rows, QStringLiteral("0012"), reservation));
        s->Habilita();
        host->clearLog();
    }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }

    void init() { host = suptest::maintenanceHost(*db); }

    void cleanup() {
        suptest::closeMaintenance();
        s = nullptr;
        host.reset();
    }

    // Only the marker cell of a browsing item toggles; the rules of the item stand aside while
    // it does (these items' products are not registered: a rule that ran would refuse them).
    void doubleClickTogglesTheMarkerCellOnly() {
        showWith(3);
        doubleClickCell(grid(), 1, "CALC");
        QCOMPARE(marks(items()), QStringLiteral("NSN"));
        QCOMPARE(s->lblContagem->text(), QStringLiteral("3 itens, 1 marcados, 0 alterados"));
        QCOMPARE(items().state(), DataSetState::Browse);
        QCOMPARE(s->data().cdsAuxItem->tag(), 0);
        QVERIFY(s->mnuBaixaManual->isEnabled()); // one mark enables the operations
        doubleClickCell(grid(), 1, "CALC");
        QCOMPARE(marks(items()), QStringLiteral("NNN"));

        for (const char* other : {"NMPRODUTO", "CDARVPROD", "QTPROGENPEOL", "CDFILIOPELOG"}) {
            doubleClickCell(grid(), 2, other);
            QCOMPARE(marks(items()), QStringLiteral("NNN"));
        }
        QCOMPARE(items().currentPosition(), 2);

        // While the item is being edited the marker stays as it is; the picker buttons follow
        // the state.
        const int product = columnOf(grid(), "CDARVPROD");
        items().edit();
        doubleClickCell(grid(), 2, "CALC");
        QCOMPARE(items().state(), DataSetState::Edit);
        QCOMPARE(marks(items()), QStringLiteral("NNN"));
        QCOMPARE(grid()->columns().at(product).buttonStyle, TDBGrid::ButtonStyle::Ellipsis);
        items().cancel();
        doubleClickCell(grid(), 2, "CALC");
        QCOMPARE(marks(items()), QStringLiteral("NNS"));
        QCOMPARE(grid()->columns().at(product).buttonStyle, TDBGrid::ButtonStyle::None);
        QVERIFY(host->messages.isEmpty());
    }

    // A click on any title turns the next marking-all the other way; only the marker's title
    // marks.
    void titleClicksMarkAllAndInvert() {
        showWith(4);
        doubleClickCell(grid(), 2, "CALC");
        QCOMPARE(marks(items()), QStringLiteral("NNSN"));
        QVERIFY(s->boTodos);

        clickTitle(grid(), "CALC"); // the first click unmarks
        QCOMPARE(marks(items()), QStringLiteral("NNNN"));
        QVERIFY(!s->boTodos);
        QCOMPARE(items().currentPosition(), 0);
        clickTitle(grid(), "CALC");
        QCOMPARE(marks(items()), QStringLiteral("SSSS"));
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 4 marcados, 0 alterados"));
        QVERIFY(s->mnuBaixaManual->isEnabled());

        // Another title marks nothing but turns the next marker click around: it marks again
        // instead of unmarking.
        items().moveTo(3);
        clickTitle(grid(), "NMPRODUTO");
        QCOMPARE(marks(items()), QStringLiteral("SSSS"));
        QVERIFY(!s->boTodos);
        QCOMPARE(items().currentPosition(), 0);
        clickTitle(grid(), "CALC");
        QCOMPARE(marks(items()), QStringLiteral("SSSS"));
        clickTitle(grid(), "CALC");
        QCOMPARE(marks(items()), QStringLiteral("NNNN"));
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 0 marcados, 0 alterados"));
        QCOMPARE(s->data().cdsAuxItem->tag(), 0);
        QVERIFY(!items().controlsDisabled());
        QVERIFY(host->messages.isEmpty());

        // An empty grid: nothing happens, not even the inversion.
        items().loadFromPacket(suptest::itemPacket(0));
        const bool before = s->boTodos;
        clickTitle(grid(), "CALC");
        clickTitle(grid(), "NMPRODUTO");
        QCOMPARE(s->boTodos, before);
        QCOMPARE(s->data().cdsAuxItem->tag(), 0);
    }

    // A post that fails in the middle of a marking pass leaves the tag at 0 and the grid
    // following the items again.
    void markingPassEndsAlsoWhenAPostFails() {
        showWith(3);
        const auto rules = items().BeforePost;
        items().BeforePost = [](TWorkingSet&) {
            throw EHostError(QStringLiteral("Falha ao gravar a marca."));
        };
        doubleClickCell(grid(), 1, "CALC");
        QCOMPARE(s->data().cdsAuxItem->tag(), 0);
        QCOMPARE(host->lastMessage().text, QStringLiteral("Falha ao gravar a marca."));
        items().cancel();

        // A filtered set is marked record by record, through the post that fails.
        items().setFilter(QStringLiteral("[ALTERADO]='N'"));
        items().setFiltered(true);
        s->boTodos = false;
        clickTitle(grid(), "CALC");
        QCOMPARE(s->data().cdsAuxItem->tag(), 0);
        QVERIFY(!items().controlsDisabled());
        QCOMPARE(host->messages.size(), 2);
        items().cancel();
        items().setFiltered(false);
        items().BeforePost = rules;

        // The rules are back once the pass is over: these items' product codes do not fit the
        // picture, so a post is refused with the focus on the product.
        items().moveTo(0);
        clickCell(grid(), 0, "QTPROGENPEOL");
        items().edit();
        items().fieldByName(u"QTPROGENPEOL")->setAsFloat(3);
        QVERIFY(!Guarded([this] { items().post(); }));
        QCOMPARE(host->messages.size(), 3);
        QVERIFY(host->lastMessage().text.startsWith(QStringLiteral("Código 1.01.001.0001")));
        QCOMPARE(grid()->SelectedField(), QStringLiteral("CDARVPROD"));
    }

    // Space toggles on the marker column only; Ctrl+Space marks or unmarks all wherever it is
    // pressed, and on the marker column it toggles the current item afterwards.
    void spaceAndCtrlSpace() {
        showWith(4);
        clickCell(grid(), 1, "CALC");
        QTest::keyClick(grid(), Qt::Key_Space);
        QCOMPARE(marks(items()), QStringLiteral("NSNN"));
        QTest::keyClick(grid(), Qt::Key_Space);
        QCOMPARE(marks(items()), QStringLiteral("NNNN"));
        QTest::keyClick(grid(), Qt::Key_Space);
        QCOMPARE(marks(items()), QStringLiteral("NSNN"));

        clickCell(grid(), 2, "NMPRODUTO");
        QTest::keyClick(grid(), Qt::Key_Space);
        QCOMPARE(marks(items()), QStringLiteral("NSNN"));

        QTest::keyClick(grid(), Qt::Key_Space, Qt::ControlModifier); // boTodos: unmark all
        QCOMPARE(marks(items()), QStringLiteral("NNNN"));
        QVERIFY(!s->boTodos);
        // The pass resets the grid's rows; the user stays in the column he was in.
        QCOMPARE(grid()->SelectedField(), QStringLiteral("NMPRODUTO"));
        clickCell(grid(), 0, "NMPRODUTO");
        QTest::keyClick(grid(), Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(marks(items()), QStringLiteral("SSSS"));
        QVERIFY(s->boTodos);

        // On the marker column: all unmarked, then the current (first) item toggled.
        clickCell(grid(), 2, "CALC");
        QTest::keyClick(grid(), Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(marks(items()), QStringLiteral("SNNN"));
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 1 marcados, 0 alterados"));
        QCOMPARE(s->data().cdsAuxItem->tag(), 0);
        QVERIFY(host->messages.isEmpty());
    }

    // Ctrl+Delete never reaches the grid, which would ask to delete the row.
    void ctrlDeleteIsDiscarded() {
        showWith(2);
        clickCell(grid(), 0, "CDARVPROD");
        QVERIFY(grid()->Editing());
        QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(items().recordCount(), 2);
        QVERIFY(host->messages.isEmpty()); // an unanswered question would fail here
        QVERIFY(host->unanswered.isEmpty());
    }

    void deleteClearsTheNameWhileEditing_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("cleared");
        QTest::addColumn<QString>("kept");
        QTest::newRow("Delete in the product") << int(Qt::Key_Delete) << "CDARVPROD"
                                               << "NMPRODUTO"
                                               << "NMMARCA";
        QTest::newRow("Backspace in the product") << int(Qt::Key_Backspace) << "CDARVPROD"
                                                  << "NMPRODUTO"
                                                  << "NMMARCA";
        QTest::newRow("Delete in the brand") << int(Qt::Key_Delete) << "CDMARCA"
                                             << "NMMARCA"
                                             << "NMPRODUTO";
        QTest::newRow("Backspace in the brand") << int(Qt::Key_Backspace) << "CDMARCA"
                                                << "NMMARCA"
                                                << "NMPRODUTO";
    }

    void deleteClearsTheNameWhileEditing() {
        QFETCH(int, key);
        QFETCH(QString, column);
        QFETCH(QString, cleared);
        QFETCH(QString, kept);
        showWith(2);
        clickCell(grid(), 1, column.toLatin1().constData());

        // Browsing: nothing is cleared.
        QTest::keyClick(grid(), Qt::Key(key));
        grid()->cancelEditor();
        QCOMPARE(items().fieldByName(cleared)->asString(),
                 cleared == u"NMPRODUTO" ? QStringLiteral("Produto 2") : QStringLiteral("Marca"));

        items().edit();
        QTest::keyClick(grid(), Qt::Key(key));
        grid()->cancelEditor();
        QCOMPARE(items().state(), DataSetState::Edit);
        QVERIFY(items().fieldByName(cleared)->asString().isEmpty());
        QVERIFY(!items().fieldByName(kept)->asString().isEmpty());
        QVERIFY(host->messages.isEmpty());
    }

    // "1", "e", "3" typed in the quantity enter 13: neither a sign nor an exponent gets in.
    void quantityTakesNeitherSignNorExponent() {
        showWith(2);
        clickCell(grid(), 0, "QTPROGENPEOL");
        QVERIFY(grid()->Editing());
        QTest::keyClick(grid(), 'e');
        QVERIFY(!grid()->editorOpen());
        QTest::keyClick(grid(), '1');
        QLineEdit* editor = openEditor(grid());
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("e3-+E"));
        QCOMPARE(editor->text(), QStringLiteral("13"));
        grid()->commitEditor();
        QCOMPARE(items().state(), DataSetState::Edit);
        QCOMPARE(items().fieldByName(u"QTPROGENPEOL")->asFloat(), 13.0);
        items().cancel();

        // Elsewhere the same letters are typed as they are.
        clickCell(grid(), 0, "CDMARCA");
        QTest::keyClick(grid(), 'e');
        editor = openEditor(grid());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("e"));
        grid()->cancelEditor();
        items().cancel();
    }

    void typingOnAnEmptyGridIsDiscarded() {
        showWith(0);
        QTest::keyClicks(grid(), QStringLiteral("1a"));
        QVERIFY(!grid()->editorOpen());
        QCOMPARE(items().state(), DataSetState::Browse);
        QCOMPARE(items().recordCount(), 0);
        QChar typed(u'1');
        s->dbgPadraoKeyPress(typed);
        QVERIFY(typed.isNull());

        items().loadFromPacket(suptest::itemPacket(1));
        typed = u'1';
        s->dbgPadraoKeyPress(typed);
        QCOMPARE(typed, QChar(u'1'));
    }

    // In-place editing is on in the product, brand and quantity columns only, whichever way
    // the user gets there.
    void editingOnlyInProductBrandAndQuantity() {
        showWith(2);
        const QStringList editable = {"CDARVPROD", "CDMARCA", "QTPROGENPEOL"};
        for (const TDBGrid::Column& c : grid()->columns()) {
            if (!c.visible)
                continue;
            clickCell(grid(), 0, c.fieldName.toLatin1().constData());
            QCOMPARE(grid()->SelectedField(), c.fieldName);
            QVERIFY2(grid()->Editing() == editable.contains(c.fieldName), qPrintable(c.fieldName));
        }
        // The batch and OL columns are not read-only, but take no typing.
        for (const char* field : {"CDLOTENVITOL", "CDFILIOPELOG"}) {
            clickCell(grid(), 0, field);
            QTest::keyClick(grid(), '7');
            QVERIFY2(!grid()->editorOpen(), field);
            QCOMPARE(items().state(), DataSetState::Browse);
        }
        // Tab into the brand: editing comes back on.
        clickCell(grid(), 0, "SGUNIDADE");
        QVERIFY(!grid()->Editing());
        QTest::keyClick(grid(), Qt::Key_Tab);
        QCOMPARE(grid()->SelectedField(), QStringLiteral("CDMARCA"));
        QVERIFY(grid()->Editing());
    }

    // Leaving the brand column of an item being edited checks the brand; an empty brand passes
    // there. A browsing item is not checked.
    void leavingTheBrandColumnChecksTheBrand() {
        showWith(2);
        clickCell(grid(), 0, "CDMARCA");
        clickCell(grid(), 0, "QTPROGENPEOL"); // browsing: no check
        QVERIFY(host->messages.isEmpty());

        clickCell(grid(), 0, "CDMARCA");
        items().edit();
        items().fieldByName(u"CDMARCA")->setAsString(u"99999");
        clickCell(grid(), 0, "QTPROGENPEOL");
        QCOMPARE(host->lastMessage().kind, sup::testkit::LoggedMessage::Error);
        QCOMPARE(host->lastMessage().key, QStringLiteral("marca_ncad"));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Marca não cadastrada."));
        QCOMPARE(grid()->SelectedField(), QStringLiteral("CDMARCA"));
        QVERIFY(items().fieldByName(u"NMMARCA")->asString().isEmpty());
        QCOMPARE(items().state(), DataSetState::Edit);

        host->clearLog();
        items().fieldByName(u"CDMARCA")->setAsString(u"");
        clickCell(grid(), 0, "QTPROGENPEOL");
        QVERIFY(host->messages.isEmpty());
        QCOMPARE(grid()->SelectedField(), QStringLiteral("QTPROGENPEOL"));
    }

    // The reservation of a reservation item with nothing reserved is red and bold; the same
    // value of an item that does not reserve is drawn plainly.
    void reservationCellDrawing() {
        showWith(2);
        TDBGrid* g = grid();
        // Row 0 reserves with nothing reserved; row 1 does not reserve.
        s->data().cdsAuxItem->setTag(99);
        items().moveTo(1);
        items().edit();
        items().fieldByName(u"IDUTRESPEDEXOL")->setAsString(u"N");
        items().post();
        s->data().cdsAuxItem->setTag(0);

        const QColor background = g->palette().color(QPalette::Base);
        auto draw = [&](int row, bool focus) {
            QImage image(90, 24, QImage::Format_ARGB32);
            image.fill(Qt::black);
            QPainter painter(&image);
            QStyleOptionViewItem option;
            option.rect = image.rect();
            option.index = g->model()->index(row, TfrmAltPedidosOL::kReservationColumn);
            option.palette = g->palette();
            option.font = g->font();
            option.state =
                QStyle::State_Enabled | (focus ? QStyle::State_HasFocus : QStyle::State_None);
            const bool drawn =
                s->dbgPadraoDrawColumnCell(painter, option, TfrmAltPedidosOL::kReservationColumn);
            painter.end();
            return drawn ? image : QImage();
        };
        const QImage pending = draw(0, false);
        const QImage plain = draw(1, false);
        QVERIFY(!pending.isNull() && !plain.isNull());
        QVERIFY(redPixels(pending) > 0);
        QCOMPARE(redPixels(plain), 0);
        QVERIFY(inkPixels(plain, background) > 0); // the value is written all the same
        // Bold: more ink for the same text.
        QVERIFY2(inkPixels(pending, background) > inkPixels(plain, background),
                 qPrintable(QStringLiteral("%1 vs %2")
                                .arg(inkPixels(pending, background))
                                .arg(inkPixels(plain, background))));
        // The whole cell is filled: nothing of the black underneath is left.
        QCOMPARE(pending.pixelColor(0, 0), background);
        QVERIFY(draw(1, true) != plain); // the focus rectangle

        // Any other column keeps the default drawing.
        QImage image(90, 24, QImage::Format_ARGB32);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.index = g->model()->index(0, columnOf(g, "NMPRODUTO"));
        QVERIFY(!s->dbgPadraoDrawColumnCell(painter, option, columnOf(g, "NMPRODUTO")));
    }

    // The marker picture depends on the mark; olive, the transparent colour, never shows.
    void markerCellDrawing() {
        showWith(2);
        doubleClickCell(grid(), 1, "CALC");
        const int calc = columnOf(grid(), "CALC");
        auto draw = [&](int row) {
            QImage image(24, 22, QImage::Format_ARGB32);
            image.fill(QColor(128, 128, 0));
            QPainter painter(&image);
            QStyleOptionViewItem option;
            option.rect = image.rect();
            option.index = grid()->model()->index(row, calc);
            option.palette = grid()->palette();
            option.state = QStyle::State_Enabled;
            const bool drawn = s->dbgPadraoDrawColumnCell(painter, option, calc);
            painter.end();
            return drawn ? image : QImage();
        };
        const QImage unmarked = draw(0);
        const QImage marked = draw(1);
        QVERIFY(!unmarked.isNull() && !marked.isNull());
        QVERIFY(unmarked != marked);
        for (const QImage& image : {unmarked, marked})
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    QVERIFY(image.pixelColor(x, y) != QColor(128, 128, 0));

        // An empty grid draws nothing of its own.
        items().loadFromPacket(suptest::itemPacket(0));
        QImage image(24, 22, QImage::Format_ARGB32);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        QVERIFY(!s->dbgPadraoDrawColumnCell(painter, option, calc));
    }
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
