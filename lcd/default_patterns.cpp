// The default table of 256 character patterns, five cells wide and seven high.
#include "lcd/default_patterns.h"

namespace velmora {

namespace {

// Row values, top row first; bit 4 is the leftmost cell, bit 0 the rightmost.
// Codes 161 to 255 follow the 8-bit Latin set. Accented capitals squeeze the
// letter into rows 2 to 6 under a two-row accent; accented small letters keep
// their letter below the accent, o and u cut to four rows so that they differ
// from the capitals. Fractions put the numerator top left and the denominator
// bottom right of a short bar.
constexpr std::array<std::array<std::int32_t, kDefaultPatternRows>, 256> kTable = {{
    {{0, 0, 0, 0, 0, 0, 0}},        //   0 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   1 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   2 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   3 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   4 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   5 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   6 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   7 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   8 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //   9 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  10 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  11 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  12 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  13 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  14 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  15 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  16 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  17 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  18 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  19 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  20 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  21 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  22 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  23 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  24 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  25 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  26 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  27 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  28 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  29 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  30 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  31 blank
    {{0, 0, 0, 0, 0, 0, 0}},        //  32 blank
    {{4, 4, 4, 4, 4, 0, 4}},        //  33 exclamation mark '!'
    {{10, 10, 0, 0, 0, 0, 0}},      //  34 quotation mark '"'
    {{0, 10, 31, 10, 31, 10, 0}},   //  35 number sign '#'
    {{4, 15, 20, 14, 5, 30, 4}},    //  36 dollar sign '$'
    {{25, 26, 2, 4, 8, 11, 19}},    //  37 percent sign '%'
    {{12, 18, 20, 8, 21, 18, 13}},  //  38 ampersand '&'
    {{4, 4, 0, 0, 0, 0, 0}},        //  39 apostrophe '''
    {{2, 4, 8, 8, 8, 4, 2}},        //  40 left parenthesis '('
    {{8, 4, 2, 2, 2, 4, 8}},        //  41 right parenthesis ')'
    {{0, 4, 21, 14, 21, 4, 0}},     //  42 asterisk '*'
    {{0, 4, 4, 31, 4, 4, 0}},       //  43 plus sign '+'
    {{0, 0, 0, 0, 12, 12, 16}},     //  44 comma ','
    {{0, 0, 0, 31, 0, 0, 0}},       //  45 hyphen-minus '-'
    {{0, 0, 0, 0, 12, 12, 0}},      //  46 full stop '.'
    {{1, 1, 2, 4, 8, 16, 16}},      //  47 solidus '/'
    {{14, 17, 19, 21, 25, 17, 14}}, //  48 digit zero '0'
    {{4, 12, 4, 4, 4, 4, 14}},      //  49 digit one '1'
    {{14, 17, 1, 2, 4, 8, 31}},     //  50 digit two '2'
    {{14, 17, 1, 6, 1, 17, 14}},    //  51 digit three '3'
    {{2, 6, 10, 18, 31, 2, 2}},     //  52 digit four '4'
    {{31, 16, 30, 1, 1, 17, 14}},   //  53 digit five '5'
    {{14, 17, 16, 30, 17, 17, 14}}, //  54 digit six '6'
    {{31, 1, 1, 2, 4, 4, 4}},       //  55 digit seven '7'
    {{14, 17, 17, 14, 17, 17, 14}}, //  56 digit eight '8'
    {{14, 17, 17, 15, 1, 17, 14}},  //  57 digit nine '9'
    {{0, 12, 12, 0, 12, 12, 0}},    //  58 colon ':'
    {{0, 12, 12, 0, 12, 12, 16}},   //  59 semicolon ';'
    {{2, 4, 8, 16, 8, 4, 2}},       //  60 less-than sign '<'
    {{0, 0, 31, 0, 31, 0, 0}},      //  61 equals sign '='
    {{8, 4, 2, 1, 2, 4, 8}},        //  62 greater-than sign '>'
    {{14, 17, 1, 2, 4, 0, 4}},      //  63 question mark '?'
    {{14, 17, 19, 21, 23, 16, 15}}, //  64 commercial at '@'
    {{14, 17, 17, 31, 17, 17, 17}}, //  65 latin capital letter a 'A'
    {{30, 17, 17, 30, 17, 17, 30}}, //  66 latin capital letter b 'B'
    {{14, 17, 16, 16, 16, 17, 14}}, //  67 latin capital letter c 'C'
    {{30, 17, 17, 17, 17, 17, 30}}, //  68 latin capital letter d 'D'
    {{31, 16, 16, 30, 16, 16, 31}}, //  69 latin capital letter e 'E'
    {{31, 16, 16, 30, 16, 16, 16}}, //  70 latin capital letter f 'F'
    {{14, 17, 16, 19, 17, 17, 14}}, //  71 latin capital letter g 'G'
    {{17, 17, 17, 31, 17, 17, 17}}, //  72 latin capital letter h 'H'
    {{14, 4, 4, 4, 4, 4, 14}},      //  73 latin capital letter i 'I'
    {{1, 1, 1, 1, 17, 17, 14}},     //  74 latin capital letter j 'J'
    {{17, 18, 20, 24, 20, 18, 17}}, //  75 latin capital letter k 'K'
    {{16, 16, 16, 16, 16, 16, 31}}, //  76 latin capital letter l 'L'
    {{17, 27, 21, 21, 17, 17, 17}}, //  77 latin capital letter m 'M'
    {{17, 25, 21, 19, 17, 17, 17}}, //  78 latin capital letter n 'N'
    {{14, 17, 17, 17, 17, 17, 14}}, //  79 latin capital letter o 'O'
    {{30, 17, 17, 30, 16, 16, 16}}, //  80 latin capital letter p 'P'
    {{14, 17, 17, 17, 17, 14, 1}},  //  81 latin capital letter q 'Q'
    {{30, 17, 17, 30, 17, 17, 17}}, //  82 latin capital letter r 'R'
    {{14, 17, 16, 14, 1, 17, 14}},  //  83 latin capital letter s 'S'
    {{31, 4, 4, 4, 4, 4, 4}},       //  84 latin capital letter t 'T'
    {{17, 17, 17, 17, 17, 17, 14}}, //  85 latin capital letter u 'U'
    {{17, 17, 17, 17, 17, 10, 4}},  //  86 latin capital letter v 'V'
    {{17, 17, 17, 17, 21, 27, 17}}, //  87 latin capital letter w 'W'
    {{17, 10, 4, 4, 4, 10, 17}},    //  88 latin capital letter x 'X'
    {{17, 17, 17, 10, 4, 4, 4}},    //  89 latin capital letter y 'Y'
    {{31, 1, 2, 4, 8, 16, 31}},     //  90 latin capital letter z 'Z'
    {{12, 8, 8, 8, 8, 8, 12}},      //  91 left square bracket '['
    {{0, 16, 8, 4, 2, 1, 0}},       //  92 reverse solidus
    {{6, 2, 2, 2, 2, 2, 6}},        //  93 right square bracket ']'
    {{4, 10, 17, 0, 0, 0, 0}},      //  94 circumflex accent '^'
    {{0, 0, 0, 0, 0, 0, 31}},       //  95 low line '_'
    {{6, 4, 2, 0, 0, 0, 0}},        //  96 grave accent '`'
    {{0, 0, 14, 1, 15, 17, 15}},    //  97 latin small letter a 'a'
    {{16, 16, 30, 17, 17, 17, 30}}, //  98 latin small letter b 'b'
    {{0, 0, 15, 16, 16, 16, 15}},   //  99 latin small letter c 'c'
    {{1, 1, 15, 17, 17, 17, 15}},   // 100 latin small letter d 'd'
    {{0, 0, 14, 17, 31, 16, 14}},   // 101 latin small letter e 'e'
    {{3, 4, 31, 4, 4, 4, 4}},       // 102 latin small letter f 'f'
    {{0, 0, 15, 17, 15, 1, 14}},    // 103 latin small letter g 'g'
    {{16, 16, 22, 25, 17, 17, 17}}, // 104 latin small letter h 'h'
    {{4, 0, 12, 4, 4, 4, 14}},      // 105 latin small letter i 'i'
    {{2, 0, 6, 2, 2, 18, 12}},      // 106 latin small letter j 'j'
    {{16, 16, 18, 20, 24, 20, 18}}, // 107 latin small letter k 'k'
    {{12, 4, 4, 4, 4, 4, 14}},      // 108 latin small letter l 'l'
    {{0, 0, 26, 21, 21, 21, 21}},   // 109 latin small letter m 'm'
    {{0, 0, 22, 25, 17, 17, 17}},   // 110 latin small letter n 'n'
    {{0, 0, 14, 17, 17, 17, 14}},   // 111 latin small letter o 'o'
    {{0, 0, 30, 17, 30, 16, 16}},   // 112 latin small letter p 'p'
    {{0, 0, 15, 17, 15, 1, 1}},     // 113 latin small letter q 'q'
    {{0, 0, 11, 12, 8, 8, 8}},      // 114 latin small letter r 'r'
    {{0, 0, 14, 16, 14, 1, 30}},    // 115 latin small letter s 's'
    {{4, 4, 31, 4, 4, 4, 3}},       // 116 latin small letter t 't'
    {{0, 0, 17, 17, 17, 19, 13}},   // 117 latin small letter u 'u'
    {{0, 0, 17, 17, 17, 10, 4}},    // 118 latin small letter v 'v'
    {{0, 0, 17, 17, 21, 21, 10}},   // 119 latin small letter w 'w'
    {{0, 0, 17, 10, 4, 10, 17}},    // 120 latin small letter x 'x'
    {{0, 0, 17, 17, 15, 1, 14}},    // 121 latin small letter y 'y'
    {{0, 0, 31, 2, 4, 8, 31}},      // 122 latin small letter z 'z'
    {{3, 4, 4, 8, 4, 4, 3}},        // 123 left curly bracket '{'
    {{4, 4, 4, 4, 4, 4, 4}},        // 124 vertical line '|'
    {{24, 4, 4, 2, 4, 4, 24}},      // 125 right curly bracket '}'
    {{8, 21, 2, 0, 0, 0, 0}},       // 126 tilde '~'
    {{0, 0, 0, 0, 0, 0, 0}},        // 127 blank
    {{6, 9, 28, 8, 28, 9, 6}},      // 128 euro sign
    {{0, 0, 0, 0, 0, 0, 0}},        // 129 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 130 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 131 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 132 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 133 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 134 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 135 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 136 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 137 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 138 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 139 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 140 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 141 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 142 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 143 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 144 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 145 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 146 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 147 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 148 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 149 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 150 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 151 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 152 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 153 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 154 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 155 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 156 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 157 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 158 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 159 blank
    {{0, 0, 0, 0, 0, 0, 0}},        // 160 blank
    {{4, 0, 4, 4, 4, 4, 4}},        // 161 inverted exclamation mark
    {{4, 15, 20, 20, 20, 15, 4}},   // 162 cent sign
    {{6, 9, 8, 28, 8, 8, 31}},      // 163 pound sign
    {{0, 17, 14, 10, 14, 17, 0}},   // 164 currency sign
    {{17, 10, 31, 4, 31, 4, 4}},    // 165 yen sign
    {{4, 4, 4, 0, 4, 4, 4}},        // 166 broken bar
    {{15, 16, 14, 17, 14, 1, 30}},  // 167 section sign
    {{10, 0, 0, 0, 0, 0, 0}},       // 168 diaeresis
    {{14, 17, 6, 8, 6, 17, 14}},    // 169 copyright sign
    {{14, 1, 15, 17, 15, 0, 31}},   // 170 feminine ordinal indicator
    {{0, 0, 9, 18, 9, 0, 0}},       // 171 left-pointing double angle quotation mark
    {{0, 0, 0, 31, 1, 1, 0}},       // 172 not sign
    {{0, 0, 0, 14, 0, 0, 0}},       // 173 soft hyphen
    {{14, 17, 12, 10, 12, 10, 14}}, // 174 registered sign
    {{31, 0, 0, 0, 0, 0, 0}},       // 175 macron
    {{6, 9, 6, 0, 0, 0, 0}},        // 176 degree sign
    {{4, 4, 31, 4, 4, 0, 31}},      // 177 plus-minus sign
    {{12, 2, 4, 8, 14, 0, 0}},      // 178 superscript two
    {{12, 2, 6, 2, 12, 0, 0}},      // 179 superscript three
    {{2, 4, 0, 0, 0, 0, 0}},        // 180 acute accent
    {{0, 17, 17, 17, 25, 22, 16}},  // 181 micro sign
    {{15, 29, 29, 13, 5, 5, 5}},    // 182 pilcrow sign
    {{0, 0, 12, 12, 0, 0, 0}},      // 183 middle dot
    {{0, 0, 0, 0, 4, 2, 12}},       // 184 cedilla
    {{4, 12, 4, 4, 14, 0, 0}},      // 185 superscript one
    {{14, 17, 17, 17, 14, 0, 31}},  // 186 masculine ordinal indicator
    {{0, 0, 18, 9, 18, 0, 0}},      // 187 right-pointing double angle quotation mark
    {{8, 24, 8, 14, 5, 7, 1}},      // 188 vulgar fraction one quarter
    {{8, 24, 8, 14, 6, 2, 3}},      // 189 vulgar fraction one half
    {{24, 12, 24, 14, 5, 7, 1}},    // 190 vulgar fraction three quarters
    {{4, 0, 4, 8, 16, 17, 14}},     // 191 inverted question mark
    {{8, 4, 14, 17, 31, 17, 17}},   // 192 latin capital letter a with grave
    {{2, 4, 14, 17, 31, 17, 17}},   // 193 latin capital letter a with acute
    {{4, 10, 14, 17, 31, 17, 17}},  // 194 latin capital letter a with circumflex
    {{13, 18, 14, 17, 31, 17, 17}}, // 195 latin capital letter a with tilde
    {{10, 0, 14, 17, 31, 17, 17}},  // 196 latin capital letter a with diaeresis
    {{14, 10, 14, 17, 31, 17, 17}}, // 197 latin capital letter a with ring above
    {{15, 20, 20, 31, 20, 20, 23}}, // 198 latin capital letter ae
    {{14, 17, 16, 17, 14, 4, 12}},  // 199 latin capital letter c with cedilla
    {{8, 4, 31, 16, 30, 16, 31}},   // 200 latin capital letter e with grave
    {{2, 4, 31, 16, 30, 16, 31}},   // 201 latin capital letter e with acute
    {{4, 10, 31, 16, 30, 16, 31}},  // 202 latin capital letter e with circumflex
    {{10, 0, 31, 16, 30, 16, 31}},  // 203 latin capital letter e with diaeresis
    {{8, 4, 14, 4, 4, 4, 14}},      // 204 latin capital letter i with grave
    {{2, 4, 14, 4, 4, 4, 14}},      // 205 latin capital letter i with acute
    {{4, 10, 14, 4, 4, 4, 14}},     // 206 latin capital letter i with circumflex
    {{10, 0, 14, 4, 4, 4, 14}},     // 207 latin capital letter i with diaeresis
    {{30, 9, 9, 29, 9, 9, 30}},     // 208 latin capital letter eth
    {{13, 18, 17, 25, 21, 19, 17}}, // 209 latin capital letter n with tilde
    {{8, 4, 14, 17, 17, 17, 14}},   // 210 latin capital letter o with grave
    {{2, 4, 14, 17, 17, 17, 14}},   // 211 latin capital letter o with acute
    {{4, 10, 14, 17, 17, 17, 14}},  // 212 latin capital letter o with circumflex
    {{13, 18, 14, 17, 17, 17, 14}}, // 213 latin capital letter o with tilde
    {{10, 0, 14, 17, 17, 17, 14}},  // 214 latin capital letter o with diaeresis
    {{0, 17, 10, 4, 10, 17, 0}},    // 215 multiplication sign
    {{1, 14, 19, 21, 25, 14, 16}},  // 216 latin capital letter o with stroke
    {{8, 4, 17, 17, 17, 17, 14}},   // 217 latin capital letter u with grave
    {{2, 4, 17, 17, 17, 17, 14}},   // 218 latin capital letter u with acute
    {{4, 10, 17, 17, 17, 17, 14}},  // 219 latin capital letter u with circumflex
    {{10, 0, 17, 17, 17, 17, 14}},  // 220 latin capital letter u with diaeresis
    {{2, 4, 17, 10, 4, 4, 4}},      // 221 latin capital letter y with acute
    {{16, 30, 17, 17, 30, 16, 16}}, // 222 latin capital letter thorn
    {{14, 17, 30, 18, 17, 25, 22}}, // 223 latin small letter sharp s
    {{8, 4, 14, 1, 15, 17, 15}},    // 224 latin small letter a with grave
    {{2, 4, 14, 1, 15, 17, 15}},    // 225 latin small letter a with acute
    {{4, 10, 14, 1, 15, 17, 15}},   // 226 latin small letter a with circumflex
    {{13, 18, 14, 1, 15, 17, 15}},  // 227 latin small letter a with tilde
    {{10, 0, 14, 1, 15, 17, 15}},   // 228 latin small letter a with diaeresis
    {{14, 10, 14, 1, 15, 17, 15}},  // 229 latin small letter a with ring above
    {{0, 0, 26, 5, 15, 20, 11}},    // 230 latin small letter ae
    {{0, 15, 16, 16, 15, 4, 12}},   // 231 latin small letter c with cedilla
    {{8, 4, 14, 17, 31, 16, 14}},   // 232 latin small letter e with grave
    {{2, 4, 14, 17, 31, 16, 14}},   // 233 latin small letter e with acute
    {{4, 10, 14, 17, 31, 16, 14}},  // 234 latin small letter e with circumflex
    {{10, 0, 14, 17, 31, 16, 14}},  // 235 latin small letter e with diaeresis
    {{8, 4, 12, 4, 4, 4, 14}},      // 236 latin small letter i with grave
    {{2, 4, 12, 4, 4, 4, 14}},      // 237 latin small letter i with acute
    {{4, 10, 12, 4, 4, 4, 14}},     // 238 latin small letter i with circumflex
    {{10, 0, 12, 4, 4, 4, 14}},     // 239 latin small letter i with diaeresis
    {{8, 14, 2, 15, 17, 17, 14}},   // 240 latin small letter eth
    {{13, 18, 0, 22, 25, 17, 17}},  // 241 latin small letter n with tilde
    {{8, 4, 0, 14, 17, 17, 14}},    // 242 latin small letter o with grave
    {{2, 4, 0, 14, 17, 17, 14}},    // 243 latin small letter o with acute
    {{4, 10, 0, 14, 17, 17, 14}},   // 244 latin small letter o with circumflex
    {{13, 18, 0, 14, 17, 17, 14}},  // 245 latin small letter o with tilde
    {{10, 0, 0, 14, 17, 17, 14}},   // 246 latin small letter o with diaeresis
    {{0, 4, 0, 31, 0, 4, 0}},       // 247 division sign
    {{0, 0, 15, 19, 21, 25, 30}},   // 248 latin small letter o with stroke
    {{8, 4, 0, 17, 17, 19, 13}},    // 249 latin small letter u with grave
    {{2, 4, 0, 17, 17, 19, 13}},    // 250 latin small letter u with acute
    {{4, 10, 0, 17, 17, 19, 13}},   // 251 latin small letter u with circumflex
    {{10, 0, 0, 17, 17, 19, 13}},   // 252 latin small letter u with diaeresis
    {{2, 4, 17, 17, 15, 1, 14}},    // 253 latin small letter y with acute
    {{16, 16, 30, 17, 30, 16, 16}}, // 254 latin small letter thorn
    {{10, 0, 17, 17, 15, 1, 14}},   // 255 latin small letter y with diaeresis
}};

} // namespace

std::span<const std::int32_t, kDefaultPatternRows> DefaultPattern(int code) {
    return kTable[static_cast<std::size_t>(code)];
}

} // namespace velmora
