#include "calc/Recalculator.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "calc/Evaluator.h"
#include "calc/Formula.h"
#include "calc/WorkbookSource.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet::calc {

namespace {

using Key = std::uint64_t;
Key KeyOf(std::size_t sheet, CellAddress a) {
  return (static_cast<Key>(sheet) << 24) | (static_cast<Key>(a.row) << 8) | static_cast<Key>(a.column);
}

constexpr std::uint32_t kNone = 0xffffffff;

}  // namespace

// Formula cells are nodes. Who reads a cell is found through the cell: one-cell references in
// a hash map, larger blocks in per-column lists checked by row, so that a formula appearing
// or vanishing changes nothing but its own entries.
struct Recalculator::Graph {
  struct Node {
    std::size_t sheet = 0;
    CellAddress cell;
    std::optional<Formula> formula;  // empty: the text did not parse
    std::string unparsedText;
    bool alive = false;
    // What the node registered, to take it back: cells by key, blocks by sheet.
    std::vector<Key> cells;
    struct Block {
      std::size_t sheet;
      int row0, column0, row1, column1;
    };
    std::vector<Block> blocks;

    std::string_view Text() const { return formula ? std::string_view(formula->Text()) : unparsedText; }
  };
  struct BlockReader {
    int row0, row1;
    std::uint32_t node;
  };

  std::vector<Node> nodes;
  std::vector<std::uint32_t> freeNodes;
  std::unordered_map<Key, std::uint32_t> nodeAt;
  std::unordered_map<Key, std::vector<std::uint32_t>> cellReaders;
  // [sheet][column]: the blocks that cover that column.
  std::vector<std::vector<std::vector<BlockReader>>> blockReaders;
  // The nodes last found on a circle and not computed since: the circles still in the workbook.
  std::unordered_set<std::uint32_t> onCircle;

  void Clear() {
    nodes.clear();
    onCircle.clear();
    freeNodes.clear();
    nodeAt.clear();
    cellReaders.clear();
    blockReaders.clear();
  }

  std::vector<BlockReader>& Column(std::size_t sheet, int column) {
    if (blockReaders.size() <= sheet) blockReaders.resize(sheet + 1);
    auto& columns = blockReaders[sheet];
    if (columns.empty()) columns.resize(CellAddress::kMaxColumns);
    return columns[static_cast<std::size_t>(column)];
  }

  void Register(std::uint32_t id, const WorkbookSource& source) {
    Node& n = nodes[id];
    if (!n.formula) return;
    const Formula& f = *n.formula;
    for (const Reference& r : f.ReferenceTable()) {
      std::size_t sheet = n.sheet;
      if (r.sheet != Reference::kOwnSheet) {
        const auto found = source.FindSheet(f.SheetNames()[static_cast<std::size_t>(r.sheet)]);
        if (!found) continue;  // reads as #REF! until the sheets change (then Rebuild)
        sheet = *found;
      }
      if (r.row0 == r.row1 && r.column0 == r.column1) {
        const Key k = KeyOf(sheet, CellAddress{r.row0, r.column0});
        cellReaders[k].push_back(id);
        n.cells.push_back(k);
      } else {
        for (int c = r.column0; c <= r.column1; ++c) Column(sheet, c).push_back({r.row0, r.row1, id});
        n.blocks.push_back({sheet, r.row0, r.column0, r.row1, r.column1});
      }
    }
  }

  void Unregister(std::uint32_t id) {
    Node& n = nodes[id];
    for (Key k : n.cells) {
      auto it = cellReaders.find(k);
      if (it == cellReaders.end()) continue;
      auto& v = it->second;
      const auto at = std::find(v.begin(), v.end(), id);
      if (at != v.end()) v.erase(at);
      if (v.empty()) cellReaders.erase(it);
    }
    for (const Node::Block& b : n.blocks) {
      for (int c = b.column0; c <= b.column1; ++c) {
        auto& v = Column(b.sheet, c);
        const auto at = std::find_if(v.begin(), v.end(), [&](const BlockReader& r) { return r.node == id; });
        if (at != v.end()) v.erase(at);
      }
    }
    n.cells.clear();
    n.blocks.clear();
  }

  // Makes the node of a cell match its formula text; returns the node, or kNone.
  std::uint32_t Sync(std::size_t sheet, CellAddress at, const Workbook& workbook, const WorkbookSource& source) {
    const Cell* cell = sheet < workbook.SheetCount() ? workbook.SheetAt(sheet).FindCell(at) : nullptr;
    const bool hasFormula = cell && cell->HasFormula();
    const Key key = KeyOf(sheet, at);
    const auto found = nodeAt.find(key);
    if (found != nodeAt.end()) {
      const std::uint32_t id = found->second;
      if (hasFormula && nodes[id].Text() == cell->formula.view()) return id;
      Unregister(id);
      if (!hasFormula) {
        onCircle.erase(id);
        nodes[id] = Node{};
        freeNodes.push_back(id);
        nodeAt.erase(found);
        return kNone;
      }
      Parse(id, cell->formula.view(), workbook);
      Register(id, source);
      return id;
    }
    if (!hasFormula) return kNone;
    std::uint32_t id;
    if (!freeNodes.empty()) {
      id = freeNodes.back();
      freeNodes.pop_back();
    } else {
      id = static_cast<std::uint32_t>(nodes.size());
      nodes.emplace_back();
    }
    nodes[id].sheet = sheet;
    nodes[id].cell = at;
    nodes[id].alive = true;
    nodeAt.emplace(key, id);
    Parse(id, cell->formula.view(), workbook);
    Register(id, source);
    return id;
  }

  void Parse(std::uint32_t id, std::string_view text, const Workbook& workbook) {
    Node& n = nodes[id];
    n.formula.reset();
    n.unparsedText.clear();
    try {
      n.formula = Formula::Parse(text, NamesSeenFrom(workbook, n.sheet));
    } catch (const SpreadsheetError&) {
      n.unparsedText = std::string(text);
    }
  }

  // Appends the formula nodes that read the cell of node `id`.
  void Readers(std::uint32_t id, std::vector<std::uint32_t>& out) const {
    const Node& n = nodes[id];
    const auto it = cellReaders.find(KeyOf(n.sheet, n.cell));
    if (it != cellReaders.end()) out.insert(out.end(), it->second.begin(), it->second.end());
    if (n.sheet < blockReaders.size() && !blockReaders[n.sheet].empty()) {
      for (const BlockReader& b : blockReaders[n.sheet][static_cast<std::size_t>(n.cell.column)]) {
        if (n.cell.row >= b.row0 && n.cell.row <= b.row1) out.push_back(b.node);
      }
    }
  }
  // The readers of any cell (not necessarily a formula's).
  void Readers(std::size_t sheet, CellAddress at, std::vector<std::uint32_t>& out) const {
    const auto it = cellReaders.find(KeyOf(sheet, at));
    if (it != cellReaders.end()) out.insert(out.end(), it->second.begin(), it->second.end());
    if (sheet < blockReaders.size() && !blockReaders[sheet].empty()) {
      for (const BlockReader& b : blockReaders[sheet][static_cast<std::size_t>(at.column)]) {
        if (at.row >= b.row0 && at.row <= b.row1) out.push_back(b.node);
      }
    }
  }
};

Recalculator::Recalculator(Workbook& workbook) : workbook_(workbook), graph_(std::make_unique<Graph>()) {}
Recalculator::~Recalculator() = default;

void Recalculator::Rebuild() {
  Graph& g = *graph_;
  g.Clear();
  const WorkbookSource source(workbook_);
  std::size_t count = 0;
  for (std::size_t s = 0; s < workbook_.SheetCount(); ++s) {
    const Worksheet& ws = workbook_.SheetAt(s);
    for (int r = 0; r < ws.RowExtent(); ++r) {
      for (const Cell& c : ws.Row(r)) count += c.HasFormula();
    }
  }
  g.nodes.reserve(count);
  g.nodeAt.reserve(count);
  g.cellReaders.reserve(count);
  for (std::size_t s = 0; s < workbook_.SheetCount(); ++s) {
    const Worksheet& ws = workbook_.SheetAt(s);
    for (int r = 0; r < ws.RowExtent(); ++r) {
      const auto& row = ws.Row(r);
      for (std::size_t c = 0; c < row.size(); ++c) {
        if (row[c].HasFormula()) g.Sync(s, CellAddress{r, static_cast<int>(c)}, workbook_, source);
      }
    }
  }
}

std::size_t Recalculator::FormulaCount() const { return graph_->nodeAt.size(); }

namespace {

// Whether `text` holds `name`, ASCII letters compared without case (as sheet names are).
bool HoldsName(std::string_view text, std::string_view name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i + name.size() <= text.size(); ++i) {
    if (EqualsIgnoringCase(text.substr(i, name.size()), name)) return true;
  }
  return false;
}

}  // namespace

std::vector<bool> Recalculator::SheetsFormulasRead(const Workbook& workbook) {
  const std::size_t count = workbook.SheetCount();
  // Each name as a formula may write it: bare, or quoted with its apostrophes doubled.
  std::vector<std::string> written(count);
  for (std::size_t s = 0; s < count; ++s) {
    for (char c : workbook.SheetAt(s).Name()) {
      written[s] += c;
      if (c == '\'') written[s] += c;
    }
  }
  std::vector<bool> read(count, false);
  std::size_t left = count;
  for (std::size_t s = 0; s < count && left > 0; ++s) {
    const Worksheet& ws = workbook.SheetAt(s);
    for (int r = 0; r < ws.RowExtent() && left > 0; ++r) {
      for (const Cell& cell : ws.Row(r)) {
        if (!cell.HasFormula()) continue;
        if (!read[s]) {
          read[s] = true;
          --left;
        }
        for (std::size_t t = 0; t < count; ++t) {
          if (!read[t] && HoldsName(cell.formula.view(), written[t])) {
            read[t] = true;
            --left;
          }
        }
      }
    }
  }
  // A formula may read a sheet through a name defined on it without naming the sheet: with
  // any formula in the workbook, the sheets the names name count as read.
  if (left < count) {
    for (const DefinedName& name : workbook.DefinedNames()) {
      for (std::size_t t = 0; t < count; ++t) read[t] = read[t] || HoldsName(name.formula, written[t]);
    }
  }
  return read;
}

namespace {

// Computes `dirty` (formula nodes) in dependency order. Edges run from a node to the nodes
// reading its cell; only edges among dirty nodes count. Kahn's algorithm orders what it can;
// what is left lies on circles or behind them: Tarjan's algorithm (with an explicit stack)
// finds the circles, whose cells get the circular error, and ordering resumes past them.
template <class GraphT, class ComputeF, class CircleF>
void Order(const GraphT& g, const std::vector<std::uint32_t>& dirty, std::vector<std::uint32_t>& slot, ComputeF compute,
           CircleF circle) {
  const std::size_t n = dirty.size();
  std::vector<std::uint32_t> offsets(n + 1, 0);
  std::vector<std::uint32_t> targets;
  std::vector<std::uint32_t> readers;
  for (std::size_t i = 0; i < n; ++i) {
    readers.clear();
    g.Readers(dirty[i], readers);
    for (std::uint32_t r : readers) {
      if (slot[r] != kNone) targets.push_back(slot[r]);
    }
    offsets[i + 1] = static_cast<std::uint32_t>(targets.size());
  }
  std::vector<std::uint32_t> indegree(n, 0);
  for (std::uint32_t t : targets) ++indegree[t];
  std::vector<std::uint8_t> done(n, 0);
  std::vector<std::uint32_t> ready;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (indegree[i] == 0) ready.push_back(i);
  }
  std::size_t finished = 0;
  auto drain = [&] {
    while (!ready.empty()) {
      const std::uint32_t i = ready.back();
      ready.pop_back();
      if (done[i]) continue;
      done[i] = 1;
      ++finished;
      compute(dirty[i]);
      for (std::uint32_t e = offsets[i]; e < offsets[i + 1]; ++e) {
        if (--indegree[targets[e]] == 0 && !done[targets[e]]) ready.push_back(targets[e]);
      }
    }
  };
  drain();
  if (finished == n) return;

  // Tarjan over the nodes left.
  std::vector<std::uint32_t> index(n, kNone), low(n, 0);
  std::vector<std::uint8_t> onStack(n, 0);
  std::vector<std::uint32_t> stack;
  struct Frame {
    std::uint32_t node, edge;
  };
  std::vector<Frame> frames;
  std::vector<std::uint8_t> onCircle(n, 0);
  std::uint32_t counter = 0;
  for (std::uint32_t root = 0; root < n; ++root) {
    if (done[root] || index[root] != kNone) continue;
    frames.push_back({root, offsets[root]});
    index[root] = low[root] = counter++;
    stack.push_back(root);
    onStack[root] = 1;
    while (!frames.empty()) {
      Frame& f = frames.back();
      if (f.edge < offsets[f.node + 1]) {
        const std::uint32_t t = targets[f.edge++];
        if (done[t]) continue;
        if (index[t] == kNone) {
          index[t] = low[t] = counter++;
          stack.push_back(t);
          onStack[t] = 1;
          frames.push_back({t, offsets[t]});
        } else if (onStack[t]) {
          low[f.node] = std::min(low[f.node], index[t]);
        }
        continue;
      }
      const std::uint32_t v = f.node;
      frames.pop_back();
      if (!frames.empty()) low[frames.back().node] = std::min(low[frames.back().node], low[v]);
      if (low[v] != index[v]) continue;
      std::vector<std::uint32_t> component;
      for (;;) {
        const std::uint32_t w = stack.back();
        stack.pop_back();
        onStack[w] = 0;
        component.push_back(w);
        if (w == v) break;
      }
      bool selfLoop = false;
      for (std::uint32_t e = offsets[v]; e < offsets[v + 1]; ++e) selfLoop = selfLoop || targets[e] == v;
      if (component.size() > 1 || selfLoop) {
        for (std::uint32_t w : component) onCircle[w] = 1;
      }
    }
  }
  // The circles' cells take the error; then their readers are free to go.
  for (std::uint32_t i = 0; i < n; ++i) {
    if (!onCircle[i]) continue;
    done[i] = 1;
    ++finished;
    circle(dirty[i]);
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    if (!onCircle[i]) continue;
    for (std::uint32_t e = offsets[i]; e < offsets[i + 1]; ++e) {
      if (!done[targets[e]] && --indegree[targets[e]] == 0) ready.push_back(targets[e]);
    }
  }
  drain();
}

}  // namespace

Recalculation Recalculator::RecalculateAll() {
  Rebuild();
  std::vector<std::uint32_t> all;
  all.reserve(graph_->nodes.size());
  for (std::uint32_t i = 0; i < graph_->nodes.size(); ++i) {
    if (graph_->nodes[i].alive) all.push_back(i);
  }
  return Compute(all);
}

Recalculation Recalculator::Changed(std::span<const SheetCell> cells) {
  Graph& g = *graph_;
  const WorkbookSource source(workbook_);
  std::vector<std::uint32_t> dirty;
  std::vector<std::uint8_t> marked(g.nodes.size() + cells.size(), 0);
  auto mark = [&](std::uint32_t id) {
    if (id >= marked.size()) marked.resize(g.nodes.size(), 0);
    if (marked[id]) return;
    marked[id] = 1;
    dirty.push_back(id);
  };
  std::vector<std::uint32_t> readers;
  for (const SheetCell& c : cells) {
    const std::uint32_t id = g.Sync(c.sheet, c.cell, workbook_, source);
    if (id != kNone) mark(id);
  }
  for (const SheetCell& c : cells) {
    readers.clear();
    g.Readers(c.sheet, c.cell, readers);
    for (std::uint32_t r : readers) mark(r);
  }
  for (std::size_t i = 0; i < dirty.size(); ++i) {
    readers.clear();
    g.Readers(dirty[i], readers);
    for (std::uint32_t r : readers) mark(r);
  }
  return Compute(dirty);
}

Recalculation Recalculator::Changed(std::size_t sheet, const CellRange& range) {
  std::vector<SheetCell> cells;
  if (sheet < workbook_.SheetCount()) {
    const Worksheet& ws = workbook_.SheetAt(sheet);
    const int lastRow = std::min(range.last.row, ws.RowExtent() - 1);
    for (int r = range.first.row; r <= lastRow; ++r) {
      const int lastColumn = std::min(range.last.column, static_cast<int>(ws.Row(r).size()) - 1);
      for (int c = range.first.column; c <= lastColumn; ++c) cells.push_back({sheet, CellAddress{r, c}});
    }
  }
  // Formula cells that vanished from the block (the sheet shrank under them).
  for (const auto& n : graph_->nodes) {
    if (n.alive && n.sheet == sheet && range.Contains(n.cell) &&
        (sheet >= workbook_.SheetCount() || n.cell.row >= workbook_.SheetAt(sheet).RowExtent() ||
         n.cell.column >= static_cast<int>(workbook_.SheetAt(sheet).Row(n.cell.row).size()))) {
      cells.push_back({n.sheet, n.cell});
    }
  }
  return Changed(cells);
}

Recalculation Recalculator::Compute(const std::vector<std::uint32_t>& dirty) {
  Graph& g = *graph_;
  Recalculation result;
  std::vector<std::uint32_t> slot(g.nodes.size(), kNone);
  for (std::uint32_t i = 0; i < dirty.size(); ++i) slot[dirty[i]] = i;
  const WorkbookSource source(workbook_);
  const Evaluator evaluator(source);
  // A sheet removed without a Rebuild() leaves nodes behind; they have nowhere to store.
  auto store = [&](const Graph::Node& n, CellValue v) {
    if (n.sheet < workbook_.SheetCount()) workbook_.SheetAt(n.sheet).CellAt(n.cell).value = std::move(v);
  };
  Order(
      g, dirty, slot,
      [&](std::uint32_t id) {
        const Graph::Node& n = g.nodes[id];
        ++result.computed;
        if (!g.onCircle.empty()) g.onCircle.erase(id);
        if (!n.formula) {
          store(n, NoStoredResult{});
          result.unparsed.push_back({n.sheet, n.cell});
          result.uncomputed.push_back({n.sheet, n.cell});
          return;
        }
        bool computable = true;
        const Value v = evaluator.Evaluate(*n.formula, n.sheet, n.cell, computable);
        if (!computable) {
          store(n, NoStoredResult{});
          result.uncomputed.push_back({n.sheet, n.cell});
          return;
        }
        store(n, ToCellValue(v));
      },
      [&](std::uint32_t id) {
        const Graph::Node& n = g.nodes[id];
        ++result.computed;
        if (!result.circular) result.circular = SheetCell{n.sheet, n.cell};
        g.onCircle.insert(id);
        store(n, CellError{kCircularError});
      });
  // A circle this recalculation did not reach is still there: name its first cell.
  if (!result.circular) {
    for (const std::uint32_t id : g.onCircle) {
      const SheetCell cell{g.nodes[id].sheet, g.nodes[id].cell};
      const auto& c = result.circular;
      if (!c || std::tie(cell.sheet, cell.cell.row, cell.cell.column) < std::tie(c->sheet, c->cell.row, c->cell.column)) {
        result.circular = cell;
      }
    }
  }
  return result;
}

}  // namespace spreadsheet::calc
