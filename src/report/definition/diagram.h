// The relationship diagram of the definition document: tables as boxes listing their key
// fields, one edge per relationship, laid out by Graphviz in this process and returned as SVG.
#pragma once

#include <string>
#include <vector>

namespace zentab::report {

struct DiagramField {
  std::string name;
  bool primary = false;  // part of the primary key
  bool foreign = false;  // on the many side of a relationship
};

struct DiagramTable {
  std::string name;
  std::vector<DiagramField> fields;  // the key fields shown in the box, in order
};

struct DiagramEdge {
  std::string table;         // the one side
  std::string foreignTable;  // the many side
  bool oneToOne = false;     // "1 — 1" instead of "1 — ∞"
  bool enforced = true;      // referential integrity is enforced
};

// An SVG drawing (UTF-8, with no XML declaration or DOCTYPE, ready to embed in HTML) of the
// tables that take part in an edge; tables no edge names are left out, edges naming a table
// not in tables get a box with the name alone. Empty when there is no edge. Throws
// std::runtime_error when Graphviz cannot lay the graph out.
std::string RenderRelationshipDiagram(const std::vector<DiagramTable>& tables,
                                      const std::vector<DiagramEdge>& edges);

}  // namespace zentab::report
