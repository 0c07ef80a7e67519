// Seeds for the fscommand fuzz target: one input per family of the command table, each a few
// commands in the target's encoding (two-byte characters, 0xFFFF after command and argument).
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/seed_folder.h"

int main(int argc, char** argv) {
  const auto dir = SeedFolder(argc, argv, "seed_fscommand");
  if (!dir) return 2;
  using Commands = std::vector<std::pair<std::u16string, std::u16string>>;
  const Commands seeds[] = {
      {{u"QVL.WIN.SETXY", u"12px,-3"}, {u"QVL.WIN.POS", u"MIDDLE,BOTTOM"}, {u"FULLSCREEN", u"true"}},
      {{u"QVL.WIN.GETRECT", u"l,t,r,b"}, {u"QVL.SHELL.GETINITDIR", u"d"}},
      {{u"QVL.RMENU.ADDITEM", u"5,Save"}, {u"QVL.EVENT.MENU", u"/:picked,item"}},
      {{u"QVL.REG.SET", u"HKEY_CURRENT_USER\\Software\\G,v,42"},
       {u"QVL.REG.GET", u"HKEY_CURRENT_USER\\Software\\G,v,s"}},
      {{u"LOCKFSCOMMAND", u"TRUE,1"}, {u"EXEC", u"a b,c"}, {u"lockfscommand", u"no"}, {u"quit", u""}},
      {{u"QVL.EVENT.APCLOSE", u"_root.x.y"}, {u"QVL.EVENT.SPRITEBOUND", u",b"}},
  };
  int n = 0;
  for (const Commands& commands : seeds) {
    std::ofstream out(*dir / ("seed" + std::to_string(n++)), std::ios::binary);
    for (const auto& [command, argument] : commands) {
      for (const std::u16string* text : {&command, &argument}) {
        for (char16_t c : *text) out.put(static_cast<char>(c & 0xFF)).put(static_cast<char>(c >> 8));
        out.put('\xFF').put('\xFF');
      }
    }
  }
  return 0;
}
