#include "tools/printapp/ReceiptPdf.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace quorl::printapp {
namespace {

constexpr int kDpi = 300;
constexpr qreal kPaperWidthMm = 80;
constexpr qreal kMarginMm = 4;
// Roll printers and viewers cope badly with endless pages; past this a
// receipt goes on on a new page.
constexpr qreal kMaxPageHeightMm = 600;

qreal Px(qreal mm) { return mm / 25.4 * kDpi; }

// Text laid out once for a width; measured and drawn from the same layout,
// so what was measured is what is drawn.
struct Paragraph {
  std::shared_ptr<QTextLayout> layout;
  qreal height = 0;
};

Paragraph Lay(const std::string& text, const QFont& font, qreal width, Qt::Alignment align,
              const QPaintDevice* device) {
  Paragraph p;
  p.layout = std::make_shared<QTextLayout>(QString::fromStdString(text), font, device);
  QTextOption option(align);
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  p.layout->setTextOption(option);
  p.layout->beginLayout();
  for (QTextLine line = p.layout->createLine(); line.isValid(); line = p.layout->createLine()) {
    line.setLineWidth(width);
    line.setPosition(QPointF(0, p.height));
    p.height += line.height();
  }
  p.layout->endLayout();
  return p;
}

struct Block {
  qreal height = 0;
  std::function<void(QPainter&, qreal top)> paint;
};

class PdfLayout {
 public:
  explicit PdfLayout(const QPaintDevice* device) : device_(device) {
    body_.setFamilies({QStringLiteral("WenQuanYi Micro Hei")});
    body_.setPointSizeF(8.5);
    strong_ = body_;
    strong_.setBold(true);
    strong_.setPointSizeF(10);
    title_ = strong_;
    title_.setPointSizeF(13);
    header_ = body_;
    header_.setBold(true);
  }

  void Title(const std::string& text) { Centered(text, title_, Px(2)); }
  void Footer(const std::string& text) { Centered(text, body_, Px(1)); }

  void Rule(bool dashed) {
    const qreal width = width_;
    blocks_.push_back({Px(4), [width, dashed](QPainter& p, qreal top) {
                         QPen pen(Qt::black, Px(0.25), dashed ? Qt::DashLine : Qt::SolidLine);
                         p.setPen(pen);
                         p.drawLine(QPointF(0, top + Px(2)), QPointF(width, top + Px(2)));
                         p.setPen(Qt::black);
                       }});
  }

  void Field(const ReceiptField& f) {
    const qreal labelWidth = Px(15);
    Row({{f.label, body_, 0, labelWidth, Qt::AlignLeft},
         {f.value, body_, labelWidth, width_ - labelWidth, Qt::AlignLeft}});
  }

  void Total(const ReceiptField& f, bool emphasised) {
    const QFont& font = emphasised ? strong_ : body_;
    const qreal labelWidth = Px(18);
    Row({{f.label, font, 0, labelWidth, Qt::AlignLeft},
         {f.value, font, labelWidth, width_ - labelWidth, Qt::AlignRight}});
  }

  void TableRow(const ReceiptLine& line, bool header) {
    const qreal w[] = {width_ * 0.34, width_ * 0.22, width_ * 0.16, width_ * 0.28};
    const QFont& font = header ? header_ : body_;
    Row({{line.level, font, 0, w[0], Qt::AlignLeft},
         {line.price, font, w[0], w[1], Qt::AlignRight},
         {line.count, font, w[0] + w[1], w[2], Qt::AlignRight},
         {line.sum, font, w[0] + w[1] + w[2], w[3], Qt::AlignRight}});
  }

  void Note(const std::string& text) { Centered(text, body_, Px(0.5)); }

  const std::vector<Block>& Blocks() const { return blocks_; }

 private:
  struct Cell {
    std::string text;
    const QFont& font;
    qreal x;
    qreal width;
    Qt::Alignment align;
  };

  void Row(const std::vector<Cell>& cells) {
    struct Placed {
      Paragraph paragraph;
      qreal x;
    };
    std::vector<Placed> placed;
    qreal height = 0;
    // A blank between cells, taken from the cell's own width.
    const qreal gap = Px(1);
    for (const Cell& c : cells) {
      const bool first = c.x == 0;
      const qreal x = first ? 0 : c.x + gap;
      placed.push_back(
          {Lay(c.text, c.font, std::max<qreal>(c.width - (first ? 0 : gap), Px(2)), c.align, device_), x});
      height = std::max(height, placed.back().paragraph.height);
    }
    const qreal spacing = Px(0.8);
    blocks_.push_back({height + spacing, [placed](QPainter& p, qreal top) {
                         for (const Placed& c : placed) c.paragraph.layout->draw(&p, QPointF(c.x, top));
                       }});
  }

  void Centered(const std::string& text, const QFont& font, qreal space) {
    const Paragraph para = Lay(text, font, width_, Qt::AlignHCenter, device_);
    blocks_.push_back({para.height + 2 * space, [para, space](QPainter& p, qreal top) {
                         para.layout->draw(&p, QPointF(0, top + space));
                       }});
  }

  const QPaintDevice* device_;
  qreal width_ = Px(kPaperWidthMm - 2 * kMarginMm);
  QFont body_, strong_, title_, header_;
  std::vector<Block> blocks_;
};

}  // namespace

std::string RenderReceiptPdf(const Receipt& r, const std::string& documentTitle) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot open a PDF buffer");

  QPdfWriter writer(&buffer);
  writer.setResolution(kDpi);
  writer.setTitle(QString::fromStdString(documentTitle));
  writer.setCreator(QStringLiteral("PrintApp"));

  PdfLayout layout(&writer);
  layout.Title(r.title);
  layout.Rule(false);
  for (const auto& group : r.groups) {
    for (const ReceiptField& f : group) layout.Field(f);
    layout.Rule(true);
  }
  const auto& h = r.tableHeader;
  layout.TableRow({h.at(0), h.at(1), h.at(2), h.at(3)}, true);
  for (const ReceiptLine& line : r.lines) layout.TableRow(line, false);
  if (r.lines.empty()) layout.Note("（无票务明细）");
  layout.Rule(true);
  for (std::size_t i = 0; i < r.totals.size(); ++i)
    layout.Total(r.totals[i], static_cast<int>(i) == r.emphasisedTotal);
  if (!r.notes.empty()) {
    layout.Rule(true);
    for (const ReceiptField& f : r.notes) layout.Field(f);
  }
  layout.Rule(false);
  layout.Footer(r.footer);

  // Pages are cut between blocks; a block taller than a page gets a page of
  // its own and is clipped rather than dropped.
  const qreal maxContent = Px(kMaxPageHeightMm - 2 * kMarginMm);
  std::vector<std::vector<const Block*>> pages(1);
  qreal used = 0, tallest = 0;
  for (const Block& b : layout.Blocks()) {
    if (used > 0 && used + b.height > maxContent) {
      pages.emplace_back();
      used = 0;
    }
    pages.back().push_back(&b);
    used += b.height;
    tallest = std::max(tallest, std::min(used, maxContent));
  }

  const qreal pageHeightMm = (tallest / kDpi * 25.4) + 2 * kMarginMm;
  // Exact: a fuzzy match would snap the roll to some nearby standard size.
  writer.setPageSize(QPageSize(QSizeF(kPaperWidthMm, pageHeightMm), QPageSize::Millimeter,
                               QStringLiteral("Receipt"), QPageSize::ExactMatch));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);

  QPainter painter;
  if (!painter.begin(&writer)) throw std::runtime_error("cannot start drawing the PDF");
  painter.setRenderHint(QPainter::Antialiasing);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (i > 0 && !writer.newPage()) throw std::runtime_error("cannot add a PDF page");
    painter.setPen(Qt::black);
    qreal top = Px(kMarginMm);
    for (const Block* b : pages[i]) {
      painter.save();
      painter.translate(Px(kMarginMm), 0);
      b->paint(painter, top);
      painter.restore();
      top += b->height;
    }
  }
  if (!painter.end()) throw std::runtime_error("cannot finish the PDF");
  buffer.close();
  if (bytes.isEmpty()) throw std::runtime_error("the PDF came out empty");
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace quorl::printapp
