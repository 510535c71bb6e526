// Reads an HTML document the way a browser would (libxml2's HTML parser) and answers XPath
// questions about it, so tests check content by structure instead of by matching lines.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zentab::fakes {

class HtmlQuery {
 public:
  explicit HtmlQuery(const std::string& html);
  ~HtmlQuery();
  HtmlQuery(const HtmlQuery&) = delete;
  HtmlQuery& operator=(const HtmlQuery&) = delete;

  bool Parsed() const;
  // The text content of every node the expression selects (attributes give their value),
  // with runs of white space folded to one blank and trimmed.
  std::vector<std::string> Texts(const std::string& xpath) const;
  // One row of cell texts per <tr> the expression selects (th and td alike).
  std::vector<std::vector<std::string>> Rows(const std::string& xpath) const;

 private:
  struct Doc;
  std::unique_ptr<Doc> doc_;
};

}  // namespace zentab::fakes
