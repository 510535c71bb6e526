// Lays the relationship diagram out with Graphviz's dot layout and renders it to SVG, all in
// this process. Only the core (SVG) and dot plugins are loaded, by their installed paths:
// Graphviz's font-measuring plugin keeps a pointer into the previous graph's labels across
// graphs (a use after free from the second diagram of a process on), so text is measured
// with Graphviz's built-in estimate instead, which gives Japanese names room to spare.
#include "report/definition/diagram.h"

#include <dlfcn.h>
#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>
#include <graphviz/gvplugin.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace zentab::report {
namespace {

// The two plugin libraries, opened once for the life of the process; empty when either is
// missing.
const std::vector<lt_symlist_t>& Plugins() {
  static const std::vector<lt_symlist_t> plugins = [] {
    std::vector<lt_symlist_t> list;
    const std::pair<const char*, const char*> wanted[] = {
        {"libgvplugin_core.so.6", "gvplugin_core_LTX_library"},
        {"libgvplugin_dot_layout.so.6", "gvplugin_dot_layout_LTX_library"}};
    for (const auto& [file, symbol] : wanted) {
      void* library = ::dlopen((std::string(ZENTAB_GRAPHVIZ_PLUGIN_DIR "/") + file).c_str(),
                               RTLD_NOW | RTLD_LOCAL);
      void* address = library ? ::dlsym(library, symbol) : nullptr;
      if (!address) return std::vector<lt_symlist_t>{};
      list.push_back({symbol, address});
    }
    list.push_back({nullptr, nullptr});
    return list;
  }();
  return plugins;
}

// Text inside a Graphviz HTML-like label: escaped as HTML text is.
std::string LabelText(const std::string& text) {
  return platform::HtmlEscape(text);
}

std::string TableLabel(const std::string& name, const std::vector<DiagramField>& fields) {
  std::string label = R"(<TABLE BORDER="0" CELLBORDER="1" CELLSPACING="0" CELLPADDING="4">)"
                      R"(<TR><TD BGCOLOR="#dde6f2"><B>)" +
                      LabelText(name) + "</B></TD></TR>";
  for (const auto& f : fields) {
    std::string mark = f.primary ? "PK " : "";
    if (f.foreign) mark += "FK ";
    label += R"(<TR><TD ALIGN="LEFT">)" + LabelText(mark + f.name) + "</TD></TR>";
  }
  return label + "</TABLE>";
}

struct ContextDeleter {
  void operator()(GVC_t* gvc) const { gvFreeContext(gvc); }
};
struct GraphDeleter {
  void operator()(Agraph_t* g) const { agclose(g); }
};

void Set(void* object, const char* name, const std::string& value) {
  agsafeset(object, const_cast<char*>(name), const_cast<char*>(value.c_str()),
            const_cast<char*>(""));
}

}  // namespace

std::string RenderRelationshipDiagram(const std::vector<DiagramTable>& tables,
                                      const std::vector<DiagramEdge>& edges) {
  if (edges.empty()) return {};
  std::map<std::string, const DiagramTable*> byName;
  for (const auto& t : tables) byName.emplace(t.name, &t);

  const auto& plugins = Plugins();
  if (plugins.empty())
    throw std::runtime_error("Graphviz's dot and core plugins are not installed");
  std::unique_ptr<GVC_t, ContextDeleter> gvc(
      gvContextPlugins(const_cast<lt_symlist_t*>(plugins.data()), 0));
  if (!gvc) throw std::runtime_error("Graphviz could not start");
  std::unique_ptr<Agraph_t, GraphDeleter> graph(
      agopen(const_cast<char*>("relationships"), Agdirected, nullptr));
  Agraph_t* g = graph.get();
  Set(g, "rankdir", "LR");
  Set(g, "nodesep", "0.3");
  Set(g, "ranksep", "0.8");
  Set(g, "fontname", "sans-serif");
  // Separate groups of related tables are packed into a roughly square picture instead of one
  // long strip, so a database with hundreds of tables still fits a page.
  Set(g, "pack", "true");
  Set(g, "packmode", "graph");
  Agsym_t* label = agattr(g, AGNODE, const_cast<char*>("label"), const_cast<char*>(""));
  agattr(g, AGNODE, const_cast<char*>("shape"), const_cast<char*>("plain"));
  agattr(g, AGNODE, const_cast<char*>("fontname"), const_cast<char*>("sans-serif"));
  agattr(g, AGNODE, const_cast<char*>("fontsize"), const_cast<char*>("10"));
  agattr(g, AGEDGE, const_cast<char*>("fontname"), const_cast<char*>("sans-serif"));
  agattr(g, AGEDGE, const_cast<char*>("fontsize"), const_cast<char*>("9"));

  // Nodes are named by number: a table's name is only ever label text.
  std::map<std::string, Agnode_t*> nodes;
  auto nodeFor = [&](const std::string& name) {
    auto found = nodes.find(name);
    if (found != nodes.end()) return found->second;
    std::string id = "t" + std::to_string(nodes.size());
    Agnode_t* n = agnode(g, const_cast<char*>(id.c_str()), 1);
    auto table = byName.find(name);
    static const std::vector<DiagramField> kNoFields;
    std::string html = TableLabel(name, table != byName.end() ? table->second->fields : kNoFields);
    agxset(n, label, agstrdup_html(g, const_cast<char*>(html.c_str())));
    nodes.emplace(name, n);
    return n;
  };
  for (const auto& e : edges) {
    Agedge_t* edge = agedge(g, nodeFor(e.table), nodeFor(e.foreignTable), nullptr, 1);
    Set(edge, "taillabel", "1");
    Set(edge, "headlabel", e.oneToOne ? "1" : "∞");
    Set(edge, "arrowhead", "none");
    Set(edge, "style", e.enforced ? "solid" : "dashed");
    if (!e.enforced) Set(edge, "label", "参照整合性なし");
  }

  if (gvLayout(gvc.get(), g, "dot") != 0)
    throw std::runtime_error("Graphviz could not lay out the diagram");
  char* data = nullptr;
  unsigned int length = 0;
  int rendered = gvRenderData(gvc.get(), g, "svg", &data, &length);
  gvFreeLayout(gvc.get(), g);
  if (rendered != 0 || !data) throw std::runtime_error("Graphviz could not draw the diagram");
  std::string svg(data, length);
  gvFreeRenderData(data);
  // Keep the drawing alone: HTML takes no XML declaration or DOCTYPE inside its body.
  auto start = svg.find("<svg");
  return start == std::string::npos ? std::string() : svg.substr(start);
}

}  // namespace zentab::report
