// zentab-mkmdb DESCRIPTION.json OUTPUT.mdb: writes the database a JSON description asks for.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "mkmdb/mkmdb.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: zentab-mkmdb DESCRIPTION.json OUTPUT.mdb\n";
    return 2;
  }
  const std::string descriptionPath = argv[1];
  std::ifstream in(descriptionPath, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf())) {
    std::cerr << "zentab-mkmdb: cannot read \"" << descriptionPath << "\"\n";
    return 1;
  }
  try {
    zentab::mkmdb::WriteMdbFromJson(text.str(), argv[2]);
  } catch (const zentab::mkmdb::DescriptionError& e) {
    std::cerr << "zentab-mkmdb: " << descriptionPath << ": " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "zentab-mkmdb: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
