// Made by tools/artwork/make_artwork.py; edit the pictures there.
#include "resources/Artwork.h"

namespace omblor::resources {

namespace {
// clang-format off
const char* const kAppIcon[] = {
    "32 32 8 1",
    "  c None",
    "G c #78DC78",
    "S c #C0C0C0",
    "b c #0000A0",
    "k c #000000",
    "o c #FF8000",
    "s c #808080",
    "y c #E6C800",
    "              oooo              ",
    "              oooo              ",
    "              oooo              ",
    "              oooo              ",
    "           oooooooooo           ",
    "            oooooooo            ",
    "             oooooo             ",
    "              oooo              ",
    "    kkkkkkkkkkkookkkkkkkkkkk    ",
    "    kbbbbbbbbbbbbbbbbbbbbbbk    ",
    "    kbbbbbbbbbbbbbbbbbbbbbbk    ",
    "    kbbbbbbbbbbbbbbbbbbbbbbk    ",
    "    kbbbSSSSSSSSSSSSSSSSbbbk    ",
    "    kbbbSSSSSSSSSSSSSSSSbbbk    ",
    "    kbbbSSSSSSSSSSSSSSSSbbbk    ",
    "    kbbbSSSSSSSSSSSSSSSSbbbk    ",
    "    kbbbbbbbbbbbbbbbbbbbbbbk    ",
    "    kbbbbbbbbbbbbbbbbbbbbbbk    ",
    "    kbbbGGGGGGGGGGbbyyyybbbk    ",
    "    kbbbGGGGGGGGGGbbyyyybbbk    ",
    "    kbbbbbbbbbbbbbbbyyyybbbk    ",
    "    kbbbbbbbbbbbbbbbyyyybbbk    ",
    "    kbbbbbbbbbbbbbbbyyyybbbk    ",
    "    kbbbbbbbbbbbbbbbyyyybbbk    ",
    "    kbbbbbbbbbbbbbbbbbbbbbbk    ",
    "    kbbbbbbbbbbbbbbbbbbbbbbk    ",
    "    kbbbbbbbbbbbbbbbbbbbbbbk    ",
    "    kkkkkkkkkkkkkkkkkkkkkkkk    ",
    "       ss  ss  ss  ss  ss       ",
    "       ss  ss  ss  ss  ss       ",
    "       ss  ss  ss  ss  ss       ",
    "                                "};
const char* const kStateImages[] = {
    "128 16 6 1",
    "  c None",
    "c c #00AADC",
    "g c #00A000",
    "k c #000000",
    "r c #C80000",
    "w c #FFFFFF",
    "                       gg              gg              rr              gg              rr                                       ",
    "                    gggggggg        gggggggg        rrrrrrrr        wwggggww        wwrrrrww                                    ",
    "                   gggggggggg      gggggggggg      rrrrrrrrrr      wggwggwggw      wrrwrrwrrw                                   ",
    "                  ggkkgggggggg    gkkkkkkkkkkg    rkkkkkkkkkkr    wwgwggggwgww    wwrwrrrrwrww                                  ",
    "                 gggkkkkkkkkggg  ggkcccccccckgg  rrkcccccccckrr  gwgwggggggwgwg  rwrwrrrrrrwrwr                                 ",
    "                 gggkkkkkkkkggg  ggkcccccccckgg  rrkcccccccckrr  gwgwgkkkkgwgwg  rwrwrkkkkrwrwr                                 ",
    "                 gggkkggggggggg  ggkcccccccckgg  rrkcccccccckrr  gwgwgkkkkgwgwg  rwrwrkkkkrwrwr                                 ",
    "                ggggkkgggggggggggggkcccccccckgggrrrkcccccccckrrrggwgwggkkggwgwggrrwrwrrkkrrwrwrr                                ",
    "                ggggkkkkkkkkgggggggkcccccccckgggrrrkcccccccckrrrggwwgwgkkgwgwwggrrwwrwrkkrwrwwrr                                ",
    "                 gggkkkkkkkkggg  ggkcccccccckgg  rrkcccccccckrr  ggwggwkkwggwgg  rrwrrwkkwrrwrr                                 ",
    "                 gggkkggggggggg  ggkkkkkkkkkkgg  rrkkkkkkkkkkrr  gggwwgkkgwwggg  rrrwwrkkrwwrrr                                 ",
    "                 gggkkkkkkkkggg  ggggggkkgggggg  rrrrrrkkrrrrrr  ggggggkkgggggg  rrrrrrkkrrrrrr                                 ",
    "                  ggkkkkkkkkgg    gggkkkkkkggg    rrrkkkkkkrrr    gggggkkggggg    rrrrrkkrrrrr                                  ",
    "                   gggggggggg      gggggggggg      rrrrrrrrrr      ggggkkgggg      rrrrkkrrrr                                   ",
    "                    gggggggg        gggggggg        rrrrrrrr        gggggggg        rrrrrrrr                                    ",
    "                       gg              gg              rr              gg              rr                                       "};
// clang-format on
}  // namespace

std::span<const char* const> AppIconXpm() {
    return kAppIcon;
}
std::span<const char* const> StateImagesXpm() {
    return kStateImages;
}

}  // namespace omblor::resources
