// libxml2's HTML parser and XPath behind HtmlQuery.
#include "fakes/html_query.h"

#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

namespace zentab::fakes {

struct HtmlQuery::Doc {
  htmlDocPtr doc = nullptr;
  ~Doc() {
    if (doc) xmlFreeDoc(doc);
  }
};

namespace {

std::string Folded(xmlNodePtr node) {
  xmlChar* raw = xmlNodeGetContent(node);
  std::string text = raw ? reinterpret_cast<const char*>(raw) : "";
  xmlFree(raw);
  // A non-breaking space (an empty cell's "&nbsp;") counts as white space.
  for (std::size_t at; (at = text.find("\xC2\xA0")) != std::string::npos;) text.replace(at, 2, " ");
  std::string out;
  bool blank = false;
  for (char c : text) {
    bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t';
    if (space) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

template <typename Visit>
void Select(htmlDocPtr doc, const std::string& xpath, Visit visit) {
  if (!doc) return;
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  xmlXPathObjectPtr result =
      xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath.c_str()), context);
  if (result && result->nodesetval) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) visit(result->nodesetval->nodeTab[i]);
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
}

}  // namespace

HtmlQuery::HtmlQuery(const std::string& html) : doc_(std::make_unique<Doc>()) {
  doc_->doc = htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
                             HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
}

HtmlQuery::~HtmlQuery() = default;

bool HtmlQuery::Parsed() const {
  return doc_->doc != nullptr;
}

std::vector<std::string> HtmlQuery::Texts(const std::string& xpath) const {
  std::vector<std::string> texts;
  Select(doc_->doc, xpath, [&](xmlNodePtr node) { texts.push_back(Folded(node)); });
  return texts;
}

std::vector<std::vector<std::string>> HtmlQuery::Rows(const std::string& xpath) const {
  std::vector<std::vector<std::string>> rows;
  Select(doc_->doc, xpath, [&](xmlNodePtr tr) {
    std::vector<std::string> cells;
    for (xmlNodePtr c = tr->children; c; c = c->next) {
      if (c->type != XML_ELEMENT_NODE) continue;
      std::string name = reinterpret_cast<const char*>(c->name);
      if (name == "td" || name == "th") cells.push_back(Folded(c));
    }
    rows.push_back(cells);
  });
  return rows;
}

}  // namespace zentab::fakes
