// The settings table of the PJL job header and its index.
#include "core/pjl_settings.h"

#include "core/core_failure.h"
#include "core/pjl_steps.h"

#include <string>
#include <string_view>

// One row per option of every job setting the header can carry. Settings with a
// value but no options have the single key -1. Rows of a setting stay together:
// the index below records only where a setting's rows begin and how many there are.
constexpr PjlSettingRow kPjlSettingTable[] = {
    {0, 0, "ZTOUTPUTMODE=AUTO", PjlConverterKind::Fixed},
    {0, 1, "ZTOUTPUTMODE=FULLCOLOR", PjlConverterKind::Fixed},
    {0, 2, "ZTOUTPUTMODE=GRAYSCALE", PjlConverterKind::Fixed},
    {0, 3, "ZTOUTPUTMODE=CYAN", PjlConverterKind::Fixed},
    {0, 4, "ZTOUTPUTMODE=MAGENTA", PjlConverterKind::Fixed},
    {0, 5, "ZTOUTPUTMODE=DUAL", PjlConverterKind::Fixed},
    {0, 6, "ZTOUTPUTMODE=RED", PjlConverterKind::Fixed},
    {1, 1, "DUPLEX=OFF", PjlConverterKind::Fixed},
    {1, 2, "DUPLEX=ON|BINDING=LONGEDGE", PjlConverterKind::Split},
    {1, 3, "DUPLEX=ON|BINDING=SHORTEDGE", PjlConverterKind::Split},
    {2, 4, "ZTDUPLEXMIXEDPAGE=ON", PjlConverterKind::Fixed},
    {2, 5, "ZTDUPLEXMIXEDPAGE=OFF", PjlConverterKind::Fixed},
    {3, 0, "ZTWAITAFTERPROOF=OFF", PjlConverterKind::Fixed},
    {3, 1, "ZTWAITAFTERPROOF=ON", PjlConverterKind::Fixed},
    {4, 1, "COPIES=%d", PjlConverterKind::Number},
    {4, 2, "QTY=%d", PjlConverterKind::Number},
    {5, 1, "ZTPAGESIZE=A3", PjlConverterKind::Fixed},
    {5, 2, "ZTPAGESIZE=A4", PjlConverterKind::Fixed},
    {5, 3, "ZTPAGESIZE=A5", PjlConverterKind::Fixed},
    {5, 4, "ZTPAGESIZE=A6", PjlConverterKind::Fixed},
    {5, 5, "ZTPAGESIZE=B4", PjlConverterKind::Fixed},
    {5, 6, "ZTPAGESIZE=B5", PjlConverterKind::Fixed},
    {5, 7, "ZTPAGESIZE=B6", PjlConverterKind::Fixed},
    {5, 8, "ZTPAGESIZE=POSTCARD", PjlConverterKind::Fixed},
    {5, 9, "ZTPAGESIZE=ENVKAKU0", PjlConverterKind::Fixed},
    {5, 10, "ZTPAGESIZE=ENVKAKU1", PjlConverterKind::Fixed},
    {5, 11, "ZTPAGESIZE=ENVKAKU2", PjlConverterKind::Fixed},
    {5, 12, "ZTPAGESIZE=ENVKAKU3", PjlConverterKind::Fixed},
    {5, 13, "ZTPAGESIZE=ENVCHOU3", PjlConverterKind::Fixed},
    {5, 14, "ZTPAGESIZE=ENVCHOU4", PjlConverterKind::Fixed},
    {5, 15, "ZTPAGESIZE=FOOLSCAP", PjlConverterKind::Fixed},
    {5, 16, "ZTPAGESIZE=TABLOID", PjlConverterKind::Fixed},
    {5, 17, "ZTPAGESIZE=LEGAL", PjlConverterKind::Fixed},
    {5, 18, "ZTPAGESIZE=PHLEGAL", PjlConverterKind::Fixed},
    {5, 19, "ZTPAGESIZE=LETTER", PjlConverterKind::Fixed},
    {5, 20, "ZTPAGESIZE=STATEMENT", PjlConverterKind::Fixed},
    {5, 21, "ZTPAGESIZE=A3W", PjlConverterKind::Fixed},
    {5, 22, "ZTPAGESIZE=ENVC4", PjlConverterKind::Fixed},
    {5, 23, "ZTPAGESIZE=ENVC5", PjlConverterKind::Fixed},
    {5, 24, "ZTPAGESIZE=ENVC6", PjlConverterKind::Fixed},
    {5, 25, "ZTPAGESIZE=ENVDL", PjlConverterKind::Fixed},
    {5, 26, "ZTPAGESIZE=ENV9X12", PjlConverterKind::Fixed},
    {5, 27, "ZTPAGESIZE=ENV10X13", PjlConverterKind::Fixed},
    {5, 28, "ZTPAGESIZE=ENVNO.10", PjlConverterKind::Fixed},
    {5, 29, "ZTPAGESIZE=HACHIKAI", PjlConverterKind::Fixed},
    {5, 30, "ZTPAGESIZE=JUROKUKAI", PjlConverterKind::Fixed},
    {5, 256, "ZTPAGESIZE=CUSTOMSIZE", PjlConverterKind::Fixed},
    {6, -1, "ZTPAGESIZEWIDTH=%d", PjlConverterKind::Number},
    {7, -1, "ZTPAGESIZEHEIGHT=%d", PjlConverterKind::Number},
    {8, 1, "ORIENTATION=PORTRAIT", PjlConverterKind::Fixed},
    {8, 2, "ORIENTATION=LANDSCAPE", PjlConverterKind::Fixed},
    {9, 0, "ZTMIXEDPAGESIZE=OFF", PjlConverterKind::Fixed},
    {9, 1, "ZTMIXEDPAGESIZE=ON", PjlConverterKind::Fixed},
    {10, 2, "ZTDUPLEXSMALLPAGE=LONGEDGE", PjlConverterKind::Fixed},
    {10, 3, "ZTDUPLEXSMALLPAGE=SHORTEDGE", PjlConverterKind::Fixed},
    {11, 2, "ZTDUPLEXBIGPAGE=LONGEDGE", PjlConverterKind::Fixed},
    {11, 3, "ZTDUPLEXBIGPAGE=SHORTEDGE", PjlConverterKind::Fixed},
    {12, 0, "ZTROTATEBIGPAGE=OFF", PjlConverterKind::Fixed},
    {12, 1, "ZTROTATEBIGPAGE=ON", PjlConverterKind::Fixed},
    {13, 0, "ZTMANUALZOOM=OFF", PjlConverterKind::Fixed},
    {13, 1, "ZTMANUALZOOM=ON", PjlConverterKind::Fixed},
    {14, -1, "ZTZOOMRATE=%d", PjlConverterKind::Number},
    {15, 0, "PAPER=AUTO", PjlConverterKind::Fixed},
    {15, 1, "PAPER=A3", PjlConverterKind::Fixed},
    {15, 2, "PAPER=A4", PjlConverterKind::Fixed},
    {15, 3, "PAPER=A5", PjlConverterKind::Fixed},
    {15, 4, "PAPER=A6", PjlConverterKind::Fixed},
    {15, 5, "PAPER=B4", PjlConverterKind::Fixed},
    {15, 6, "PAPER=B5", PjlConverterKind::Fixed},
    {15, 7, "PAPER=B6", PjlConverterKind::Fixed},
    {15, 8, "PAPER=POSTCARD", PjlConverterKind::Fixed},
    {15, 9, "PAPER=ENVKAKU0", PjlConverterKind::Fixed},
    {15, 10, "PAPER=ENVKAKU1", PjlConverterKind::Fixed},
    {15, 11, "PAPER=ENVKAKU2", PjlConverterKind::Fixed},
    {15, 12, "PAPER=ENVKAKU3", PjlConverterKind::Fixed},
    {15, 13, "PAPER=ENVCHOU3", PjlConverterKind::Fixed},
    {15, 14, "PAPER=ENVCHOU4", PjlConverterKind::Fixed},
    {15, 15, "PAPER=FOOLSCAP", PjlConverterKind::Fixed},
    {15, 16, "PAPER=TABLOID", PjlConverterKind::Fixed},
    {15, 17, "PAPER=LEGAL", PjlConverterKind::Fixed},
    {15, 18, "PAPER=PHLEGAL", PjlConverterKind::Fixed},
    {15, 19, "PAPER=LETTER", PjlConverterKind::Fixed},
    {15, 20, "PAPER=STATEMENT", PjlConverterKind::Fixed},
    {15, 21, "PAPER=A3W", PjlConverterKind::Fixed},
    {15, 22, "PAPER=ENVC4", PjlConverterKind::Fixed},
    {15, 23, "PAPER=ENVC5", PjlConverterKind::Fixed},
    {15, 24, "PAPER=ENVC6", PjlConverterKind::Fixed},
    {15, 25, "PAPER=ENVDL", PjlConverterKind::Fixed},
    {15, 26, "PAPER=ENV9X12", PjlConverterKind::Fixed},
    {15, 27, "PAPER=ENV10X13", PjlConverterKind::Fixed},
    {15, 28, "PAPER=ENVNO.10", PjlConverterKind::Fixed},
    {15, 29, "PAPER=HACHIKAI", PjlConverterKind::Fixed},
    {15, 30, "PAPER=JUROKUKAI", PjlConverterKind::Fixed},
    {15, 256, "PAPER=CUSTOMSIZE", PjlConverterKind::Fixed},
    {16, -1, "ZTTARGETPAPERSIZEWIDTH=%d", PjlConverterKind::Number},
    {17, -1, "ZTTARGETPAPERSIZEHEIGHT=%d", PjlConverterKind::Number},
    {18, 7, "AUTOSELECT=ON", PjlConverterKind::Fixed},
    {18, 257, "AUTOSELECT=OFF|MEDIASOURCE=STANDARD", PjlConverterKind::Split},
    {18, 258, "AUTOSELECT=OFF|MEDIASOURCE=TRAY1", PjlConverterKind::Split},
    {18, 259, "AUTOSELECT=OFF|MEDIASOURCE=TRAY2", PjlConverterKind::Split},
    {18, 260, "AUTOSELECT=OFF|MEDIASOURCE=EXTERNALFEEDER", PjlConverterKind::Split},
    {19, 0, "ZTPAGETRAY=OFF", PjlConverterKind::Fixed},
    {19, 1, "ZTPAGETRAY=ON", PjlConverterKind::Fixed},
    {20, -1, "ZTPAGETRAYSTANDARD=%s", PjlConverterKind::AnsiText},
    {21, -1, "ZTPAGETRAYTRAY1=%s", PjlConverterKind::AnsiText},
    {22, -1, "ZTPAGETRAYTRAY2=%s", PjlConverterKind::AnsiText},
    {23, -1, "ZTPAGETRAYEXTERNALFEEDER=%s", PjlConverterKind::AnsiText},
    {24, 257, "MEDIATYPE=AUTO", PjlConverterKind::Fixed},
    {24, 258, "MEDIATYPE=STANDARD", PjlConverterKind::Fixed},
    {24, 259, "MEDIATYPE=HC", PjlConverterKind::Fixed},
    {24, 260, "MEDIATYPE=HCMATTED", PjlConverterKind::Fixed},
    {24, 261, "MEDIATYPE=HIGHQUALITY2", PjlConverterKind::Fixed},
    {24, 262, "MEDIATYPE=POSTCARDJ", PjlConverterKind::Fixed},
    {24, 263, "MEDIATYPE=LIGHT", PjlConverterKind::Fixed},
    {24, 264, "MEDIATYPE=RECYCLED", PjlConverterKind::Fixed},
    {24, 267, "MEDIATYPE=PLAINPREMIUM", PjlConverterKind::Fixed},
    {25, 0, "ZTOUTPUTMETHOD=PRINT", PjlConverterKind::Fixed},
    {25, 1, "ZTOUTPUTMETHOD=PRINTANDBOX", PjlConverterKind::Fixed},
    {25, 2, "ZTOUTPUTMETHOD=BOX", PjlConverterKind::Fixed},
    {25, 5, "ZTOUTPUTMETHOD=FORM", PjlConverterKind::Fixed},
    {26, 0, "ZTOUTPUTBOX=PERSONALBOX", PjlConverterKind::Fixed},
    {27, -1, "ZTOUTPUTBOX=SHAREDBOX%d", PjlConverterKind::Number},
    {100, 0, "ZTMULTIUP=OFF", PjlConverterKind::Fixed},
    {100, 21, "ZTMULTIUP=2PAGESLEFTRIGHT", PjlConverterKind::Fixed},
    {100, 22, "ZTMULTIUP=2PAGESRIGHTLEFT", PjlConverterKind::Fixed},
    {100, 41, "ZTMULTIUP=4PAGESLEFTTOPRIGHT", PjlConverterKind::Fixed},
    {100, 42, "ZTMULTIUP=4PAGESLEFTTOPBOTTOM", PjlConverterKind::Fixed},
    {100, 43, "ZTMULTIUP=4PAGESRIGHTTOPLEFT", PjlConverterKind::Fixed},
    {100, 44, "ZTMULTIUP=4PAGESRIGHTTOPBOTTOM", PjlConverterKind::Fixed},
    {100, 81, "ZTMULTIUP=8PAGESLEFTTOPRIGHT", PjlConverterKind::Fixed},
    {100, 82, "ZTMULTIUP=8PAGESLEFTTOPBOTTOM", PjlConverterKind::Fixed},
    {100, 83, "ZTMULTIUP=8PAGESRIGHTTOPLEFT", PjlConverterKind::Fixed},
    {100, 88, "ZTMULTIUP=8PAGESRIGHTTOPBOTTOM", PjlConverterKind::Fixed},
    {101, 0, "ZTMULTIUPSINGLEPAGE=1", PjlConverterKind::Fixed},
    {101, 2, "ZTMULTIUPSINGLEPAGE=2", PjlConverterKind::Fixed},
    {101, 4, "ZTMULTIUPSINGLEPAGE=4", PjlConverterKind::Fixed},
    {101, 8, "ZTMULTIUPSINGLEPAGE=8", PjlConverterKind::Fixed},
    {102, 0, "ZTBOOKLET=OFF", PjlConverterKind::Fixed},
    {102, 1, "ZTBOOKLET=LEFTBINDING", PjlConverterKind::Fixed},
    {102, 2, "ZTBOOKLET=RIGHTBINDING", PjlConverterKind::Fixed},
    {102, 3, "ZTBOOKLET=TOPBINDING", PjlConverterKind::Fixed},
    {103, 0, "ZTHEADERFOOTERPRINT=OFF", PjlConverterKind::Fixed},
    {103, 1, "ZTHEADERFOOTERPRINT=ON", PjlConverterKind::Fixed},
    {104, 0, "ZTPAGENUMPRINT=OFF", PjlConverterKind::Fixed},
    {104, 1, "ZTPAGENUMPRINT=ON", PjlConverterKind::Fixed},
    {105, 0, "ZTPAGENUMTRANSPARENT=OFF", PjlConverterKind::Fixed},
    {105, 1, "ZTPAGENUMTRANSPARENT=ON", PjlConverterKind::Fixed},
    {106, -1, "ZTPAGENUMSTARTNUM=%d", PjlConverterKind::Number},
    {107, -1, "ZTPAGENUMSTARTPAGE=%d", PjlConverterKind::Number},
    {108, 1, "ZTPAGENUMPOSITION=TOPLEFT", PjlConverterKind::Fixed},
    {108, 2, "ZTPAGENUMPOSITION=TOPCENTER", PjlConverterKind::Fixed},
    {108, 3, "ZTPAGENUMPOSITION=TOPRIGHT", PjlConverterKind::Fixed},
    {108, 5, "ZTPAGENUMPOSITION=BOTTOMRIGHT", PjlConverterKind::Fixed},
    {108, 6, "ZTPAGENUMPOSITION=BOTTOMCENTER", PjlConverterKind::Fixed},
    {108, 7, "ZTPAGENUMPOSITION=BOTTOMLEFT", PjlConverterKind::Fixed},
    {109, -1, "ZTSTAMPPAGEFONT=%s", PjlConverterKind::HexUtf8},
    {111, -1, "ZTSTAMPPAGESIZE=%d", PjlConverterKind::Number},
    {112, 0, "ZTDATEPRINT=OFF", PjlConverterKind::Fixed},
    {112, 1, "ZTDATEPRINT=ON", PjlConverterKind::Fixed},
    {113, 0, "ZTDATETRANSPARENT=OFF", PjlConverterKind::Fixed},
    {113, 1, "ZTDATETRANSPARENT=ON", PjlConverterKind::Fixed},
    {114, 0, "ZTDATETARGETPAGE=FULLPAGE", PjlConverterKind::Fixed},
    {114, 1, "ZTDATETARGETPAGE=1STPAGE", PjlConverterKind::Fixed},
    {115, 0, "ZTDATESPECIFY=TODAY", PjlConverterKind::Fixed},
    {115, 1, "ZTDATESPECIFY=CUSTOM", PjlConverterKind::Fixed},
    {116, -1, "ZTDATEINFO=%s", PjlConverterKind::HexUtf8},
    {117, 1, "ZTDATEPOSITION=TOPLEFT", PjlConverterKind::Fixed},
    {117, 2, "ZTDATEPOSITION=TOPCENTER", PjlConverterKind::Fixed},
    {117, 3, "ZTDATEPOSITION=TOPRIGHT", PjlConverterKind::Fixed},
    {117, 5, "ZTDATEPOSITION=BOTTOMRIGHT", PjlConverterKind::Fixed},
    {117, 6, "ZTDATEPOSITION=BOTTOMCENTER", PjlConverterKind::Fixed},
    {117, 7, "ZTDATEPOSITION=BOTTOMLEFT", PjlConverterKind::Fixed},
    {118, -1, "ZTSTAMPDATEFONT=%s", PjlConverterKind::HexUtf8},
    {120, -1, "ZTSTAMPDATESIZE=%d", PjlConverterKind::Number},
    {150, 0, "ZTIMAGESHIFT=OFF", PjlConverterKind::Fixed},
    {150, 1, "ZTIMAGESHIFT=ON", PjlConverterKind::Fixed},
    {151, -1, "ZTIMAGESHIFTFRONTV=%d", PjlConverterKind::Number},
    {152, -1, "ZTIMAGESHIFTFRONTH=%d", PjlConverterKind::Number},
    {153, -1, "ZTIMAGESHIFTBACKV=%d", PjlConverterKind::Number},
    {154, -1, "ZTIMAGESHIFTBACKH=%d", PjlConverterKind::Number},
    {155, 0, "ZTROTATE=AUTO", PjlConverterKind::Fixed},
    {155, 2, "ZTROTATE=0", PjlConverterKind::Fixed},
    {155, 4, "ZTROTATE=90", PjlConverterKind::Fixed},
    {155, 6, "ZTROTATE=180", PjlConverterKind::Fixed},
    {155, 8, "ZTROTATE=270", PjlConverterKind::Fixed},
    {200, 1, "ZTDITHERTYPE=PHOTO", PjlConverterKind::Fixed},
    {200, 2, "ZTDITHERTYPE=TEXT", PjlConverterKind::Fixed},
    {201, 0, "ZTPRINTDENSITY=0", PjlConverterKind::Fixed},
    {201, 1, "ZTPRINTDENSITY=1", PjlConverterKind::Fixed},
    {201, 2, "ZTPRINTDENSITY=2", PjlConverterKind::Fixed},
    {201, 3, "ZTPRINTDENSITY=3", PjlConverterKind::Fixed},
    {201, 11, "ZTPRINTDENSITY=-1", PjlConverterKind::Fixed},
    {201, 12, "ZTPRINTDENSITY=-2", PjlConverterKind::Fixed},
    {201, 13, "ZTPRINTDENSITY=-3", PjlConverterKind::Fixed},
    {202, 1, "ZTIMAGEQUALITY=STANDARD", PjlConverterKind::Fixed},
    {202, 2, "ZTIMAGEQUALITY=FINE", PjlConverterKind::Fixed},
    {202, 3, "ZTIMAGEQUALITY=DRAFT", PjlConverterKind::Fixed},
    {202, 4, "ZTIMAGEQUALITY=DATA", PjlConverterKind::Fixed},
    {203, 0, "ZTLINESMOOTHING=OFF", PjlConverterKind::Fixed},
    {203, 1, "ZTLINESMOOTHING=LOW", PjlConverterKind::Fixed},
    {203, 2, "ZTLINESMOOTHING=HIGH", PjlConverterKind::Fixed},
    {204, 1, "ZTSCREENING=ERRORDIFF", PjlConverterKind::Fixed},
    {204, 2, "ZTSCREENING=RASTER70", PjlConverterKind::Fixed},
    {204, 3, "ZTSCREENING=RASTER100", PjlConverterKind::Fixed},
    {205, 0, "ZTGAMMAADJUSTMENT=OFF", PjlConverterKind::Fixed},
    {205, 1, "ZTGAMMAADJUSTMENT=ON", PjlConverterKind::Fixed},
    {206, 0, "ZTGCBRIGHTNESS=0", PjlConverterKind::Fixed},
    {206, 1, "ZTGCBRIGHTNESS=1", PjlConverterKind::Fixed},
    {206, 2, "ZTGCBRIGHTNESS=2", PjlConverterKind::Fixed},
    {206, 11, "ZTGCBRIGHTNESS=-1", PjlConverterKind::Fixed},
    {206, 12, "ZTGCBRIGHTNESS=-2", PjlConverterKind::Fixed},
    {207, 0, "ZTGCCONTRAST=0", PjlConverterKind::Fixed},
    {207, 1, "ZTGCCONTRAST=1", PjlConverterKind::Fixed},
    {207, 2, "ZTGCCONTRAST=2", PjlConverterKind::Fixed},
    {207, 11, "ZTGCCONTRAST=-1", PjlConverterKind::Fixed},
    {207, 12, "ZTGCCONTRAST=-2", PjlConverterKind::Fixed},
    {208, -1, "ZTGCCYAN=%d", PjlConverterKind::Number},
    {209, -1, "ZTGCMAGENTA=%d", PjlConverterKind::Number},
    {210, -1, "ZTGCYELLOW=%d", PjlConverterKind::Number},
    {211, -1, "ZTGCBLACK=%d", PjlConverterKind::Number},
    {212, 0, "ZTBARCODEAREA=OFF", PjlConverterKind::Fixed},
    {212, 1, "ZTBARCODEAREA=ON", PjlConverterKind::Fixed},
    {213, -1, "ZTBARCODESELECTION=%s", PjlConverterKind::HexUtf8},
    {214, 0, "ZTBARCODEDENSITY=0", PjlConverterKind::Fixed},
    {214, 1, "ZTBARCODEDENSITY=1", PjlConverterKind::Fixed},
    {214, 2, "ZTBARCODEDENSITY=2", PjlConverterKind::Fixed},
    {214, 3, "ZTBARCODEDENSITY=3", PjlConverterKind::Fixed},
    {214, 11, "ZTBARCODEDENSITY=-1", PjlConverterKind::Fixed},
    {214, 12, "ZTBARCODEDENSITY=-2", PjlConverterKind::Fixed},
    {214, 13, "ZTBARCODEDENSITY=-3", PjlConverterKind::Fixed},
    {215, 0, "ZTBARCODEPROOF=OFF", PjlConverterKind::Fixed},
    {215, 1, "ZTBARCODEPROOF=ON", PjlConverterKind::Fixed},
    {216, 0, "ZTENVELOPEIMAGEPROCESSING=OFF", PjlConverterKind::Fixed},
    {216, 1, "ZTENVELOPEIMAGEPROCESSING=ON", PjlConverterKind::Fixed},
    {217, 0, "ZTCOLORPROFILE=OFF", PjlConverterKind::Fixed},
    {217, 1, "ZTCOLORPROFILE=ON", PjlConverterKind::Fixed},
    {218, -1, "ZTOUTPUTPROFILESELECTION=%s", PjlConverterKind::HexUtf8},
    {219, 1, "ZTRENDERINGINTENT=RELATIVECOLORIMETRIC", PjlConverterKind::Fixed},
    {219, 2, "ZTRENDERINGINTENT=ABSOLUTECOLORIMETRIC", PjlConverterKind::Fixed},
    {219, 3, "ZTRENDERINGINTENT=PERCEPTUAL", PjlConverterKind::Fixed},
    {219, 4, "ZTRENDERINGINTENT=SATURATION", PjlConverterKind::Fixed},
    {220, 0, "ZTMAXDROPS=AUTO", PjlConverterKind::Fixed},
    {220, 1, "ZTMAXDROPS=1", PjlConverterKind::Fixed},
    {220, 2, "ZTMAXDROPS=2", PjlConverterKind::Fixed},
    {220, 3, "ZTMAXDROPS=3", PjlConverterKind::Fixed},
    {220, 4, "ZTMAXDROPS=4", PjlConverterKind::Fixed},
    {220, 5, "ZTMAXDROPS=5", PjlConverterKind::Fixed},
    {220, 6, "ZTMAXDROPS=6", PjlConverterKind::Fixed},
    {220, 7, "ZTMAXDROPS=7", PjlConverterKind::Fixed},
    {220, 8, "ZTMAXDROPS=8", PjlConverterKind::Fixed},
    {220, 9, "ZTMAXDROPS=9", PjlConverterKind::Fixed},
    {220, 10, "ZTMAXDROPS=10", PjlConverterKind::Fixed},
    {220, 11, "ZTMAXDROPS=11", PjlConverterKind::Fixed},
    {221, -1, "ZTGCRED=%d", PjlConverterKind::Number},
    {300, 0, "ZTBINDING=LEFTBINDING", PjlConverterKind::Fixed},
    {300, 1, "ZTBINDING=RIGHTBINDING", PjlConverterKind::Fixed},
    {300, 2, "ZTBINDING=TOPBINDING", PjlConverterKind::Fixed},
    {301, 0, "ZTGUTTER=OFF", PjlConverterKind::Fixed},
    {301, 1, "ZTGUTTER=ON", PjlConverterKind::Fixed},
    {302, -1, "ZTGUTTERDISTANCE=%d", PjlConverterKind::Number},
    {303, 0, "ZTGUTTERAUTOREDUCING=OFF", PjlConverterKind::Fixed},
    {303, 1, "ZTGUTTERAUTOREDUCING=ON", PjlConverterKind::Fixed},
    {304, 0, "ZTSTAPLEMODE=OFF", PjlConverterKind::Fixed},
    {304, 10, "ZTSTAPLEMODE=1STAPLE", PjlConverterKind::Fixed},
    {304, 11, "ZTSTAPLEMODE=1STAPLELEFT", PjlConverterKind::Fixed},
    {304, 12, "ZTSTAPLEMODE=1STAPLERIGHT", PjlConverterKind::Fixed},
    {304, 20, "ZTSTAPLEMODE=2STAPLES", PjlConverterKind::Fixed},
    {305, 0, "ZTPUNCHMODE=OFF", PjlConverterKind::Fixed},
    {305, 1, "ZTPUNCHMODE=2HOLES", PjlConverterKind::Fixed},
    {305, 2, "ZTPUNCHMODE=3HOLES", PjlConverterKind::Fixed},
    {305, 3, "ZTPUNCHMODE=4HOLES", PjlConverterKind::Fixed},
    {306, 0, "ZTFOLDMODE=OFF", PjlConverterKind::Fixed},
    {306, 1, "ZTFOLDMODE=2FOLD", PjlConverterKind::Fixed},
    {306, 2, "ZTFOLDMODE=3FOLDINNER", PjlConverterKind::Fixed},
    {306, 3, "ZTFOLDMODE=3FOLDOUTER", PjlConverterKind::Fixed},
    {306, 4, "ZTFOLDMODE=ZFOLD", PjlConverterKind::Fixed},
    {307, 1, "ZTFOLDINNEROUTER=INNER", PjlConverterKind::Fixed},
    {307, 2, "ZTFOLDINNEROUTER=OUTER", PjlConverterKind::Fixed},
    {308, 1, "ZTFOLDBINDING=LEFTANDTOP", PjlConverterKind::Fixed},
    {308, 2, "ZTFOLDBINDING=RIGHTANDBOTTOM", PjlConverterKind::Fixed},
    {309, 0, "ZTBOOKLETBINDING=OFF", PjlConverterKind::Fixed},
    {309, 1, "ZTBOOKLETBINDING=2-FOLD", PjlConverterKind::Fixed},
    {309, 2, "ZTBOOKLETBINDING=2-FOLDANDSTAPLE", PjlConverterKind::Fixed},
    {310, 0, "ZTBOOKLETSPLITTING=OFF", PjlConverterKind::Fixed},
    {310, 1, "ZTBOOKLETSPLITTING=1", PjlConverterKind::Fixed},
    {310, 2, "ZTBOOKLETSPLITTING=2", PjlConverterKind::Fixed},
    {310, 3, "ZTBOOKLETSPLITTING=3", PjlConverterKind::Fixed},
    {310, 4, "ZTBOOKLETSPLITTING=4", PjlConverterKind::Fixed},
    {310, 5, "ZTBOOKLETSPLITTING=5", PjlConverterKind::Fixed},
    {310, 6, "ZTBOOKLETSPLITTING=6", PjlConverterKind::Fixed},
    {310, 7, "ZTBOOKLETSPLITTING=7", PjlConverterKind::Fixed},
    {310, 8, "ZTBOOKLETSPLITTING=8", PjlConverterKind::Fixed},
    {310, 9, "ZTBOOKLETSPLITTING=9", PjlConverterKind::Fixed},
    {310, 10, "ZTBOOKLETSPLITTING=10", PjlConverterKind::Fixed},
    {310, 11, "ZTBOOKLETSPLITTING=11", PjlConverterKind::Fixed},
    {310, 12, "ZTBOOKLETSPLITTING=12", PjlConverterKind::Fixed},
    {310, 13, "ZTBOOKLETSPLITTING=13", PjlConverterKind::Fixed},
    {310, 14, "ZTBOOKLETSPLITTING=14", PjlConverterKind::Fixed},
    {310, 15, "ZTBOOKLETSPLITTING=15", PjlConverterKind::Fixed},
    {310, 16, "ZTBOOKLETSPLITTING=16", PjlConverterKind::Fixed},
    {310, 17, "ZTBOOKLETSPLITTING=17", PjlConverterKind::Fixed},
    {310, 18, "ZTBOOKLETSPLITTING=18", PjlConverterKind::Fixed},
    {310, 19, "ZTBOOKLETSPLITTING=19", PjlConverterKind::Fixed},
    {310, 20, "ZTBOOKLETSPLITTING=20", PjlConverterKind::Fixed},
    {310, 255, "ZTBOOKLETSPLITTING=AUTO", PjlConverterKind::Fixed},
    {311, 0, "ZTBOOKLETGUTTER=OFF", PjlConverterKind::Fixed},
    {311, 1, "ZTBOOKLETGUTTER=ON", PjlConverterKind::Fixed},
    {312, -1, "ZTBOOKLETGUTTERDISTANCE=%d", PjlConverterKind::Number},
    {313, 0, "ZTBOOKLETGUTTERAUTOREDUCING=OFF", PjlConverterKind::Fixed},
    {313, 1, "ZTBOOKLETGUTTERAUTOREDUCING=ON", PjlConverterKind::Fixed},
    {314, 0, "ZTBOOKLETCOVER=OFF", PjlConverterKind::Fixed},
    {314, 1, "ZTBOOKLETCOVER=ONLYCOVER", PjlConverterKind::Fixed},
    {314, 2, "ZTBOOKLETCOVER=EXCEPTCOVER", PjlConverterKind::Fixed},
    {315, 0, "ZTWAITINGEXCEPTCOVER=OFF", PjlConverterKind::Fixed},
    {315, 1, "ZTWAITINGEXCEPTCOVER=ON", PjlConverterKind::Fixed},
    {316, 257, "ZTBOOKLETCOVERSHEETTRAY=STANDARD", PjlConverterKind::Fixed},
    {316, 258, "ZTBOOKLETCOVERSHEETTRAY=TRAY1", PjlConverterKind::Fixed},
    {316, 259, "ZTBOOKLETCOVERSHEETTRAY=TRAY2", PjlConverterKind::Fixed},
    {316, 260, "ZTBOOKLETCOVERSHEETTRAY=EXTERNALFEEDER", PjlConverterKind::Fixed},
    {317, 0, "ZTJOG=OFF", PjlConverterKind::Fixed},
    {317, 1, "ZTJOG=SET", PjlConverterKind::Fixed},
    {317, 2, "ZTJOG=JOB", PjlConverterKind::Fixed},
    {318, 0, "ZTJOBSEPSHEET=OFF", PjlConverterKind::Fixed},
    {318, 1, "ZTJOBSEPSHEET=BETWEENSETS", PjlConverterKind::Fixed},
    {318, 2, "ZTJOBSEPSHEET=BETWEENJOBS", PjlConverterKind::Fixed},
    {319, 257, "ZTJOBSEPSHEETTRAY=STANDARD", PjlConverterKind::Fixed},
    {319, 258, "ZTJOBSEPSHEETTRAY=TRAY1", PjlConverterKind::Fixed},
    {319, 259, "ZTJOBSEPSHEETTRAY=TRAY2", PjlConverterKind::Fixed},
    {319, 260, "ZTJOBSEPSHEETTRAY=EXTERNALFEEDER", PjlConverterKind::Fixed},
    {320, 0, "ZTJOBSEPSHEETTEXT=OFF", PjlConverterKind::Fixed},
    {320, 1, "ZTJOBSEPSHEETTEXT=NUMBER", PjlConverterKind::Fixed},
    {320, 2, "ZTJOBSEPSHEETTEXT=CHARACTER", PjlConverterKind::Fixed},
    {321, 0, "ZTCOVERSHEET=OFF", PjlConverterKind::Fixed},
    {321, 1, "ZTCOVERSHEET=ON", PjlConverterKind::Fixed},
    {322, 0, "ZTFRONTCOVERSHEET=OFF", PjlConverterKind::Fixed},
    {322, 1, "ZTFRONTCOVERSHEET=ON", PjlConverterKind::Fixed},
    {323, 257, "ZTFRONTCOVERSHEETTRAY=STANDARD", PjlConverterKind::Fixed},
    {323, 258, "ZTFRONTCOVERSHEETTRAY=TRAY1", PjlConverterKind::Fixed},
    {323, 259, "ZTFRONTCOVERSHEETTRAY=TRAY2", PjlConverterKind::Fixed},
    {323, 260, "ZTFRONTCOVERSHEETTRAY=EXTERNALFEEDER", PjlConverterKind::Fixed},
    {324, 0, "ZTBACKCOVERSHEET=OFF", PjlConverterKind::Fixed},
    {324, 1, "ZTBACKCOVERSHEET=ON", PjlConverterKind::Fixed},
    {325, 257, "ZTBACKCOVERSHEETTRAY=STANDARD", PjlConverterKind::Fixed},
    {325, 258, "ZTBACKCOVERSHEETTRAY=TRAY1", PjlConverterKind::Fixed},
    {325, 259, "ZTBACKCOVERSHEETTRAY=TRAY2", PjlConverterKind::Fixed},
    {325, 260, "ZTBACKCOVERSHEETTRAY=EXTERNALFEEDER", PjlConverterKind::Fixed},
    {326, 0, "ZTOUTPUTTRAY=AUTO", PjlConverterKind::Fixed},
    {326, 1, "ZTOUTPUTTRAY=FACEDOWN", PjlConverterKind::Fixed},
    {326, 2, "ZTOUTPUTTRAY=UPPER", PjlConverterKind::Fixed},
    {326, 3, "ZTOUTPUTTRAY=STACKER", PjlConverterKind::Fixed},
    {326, 6, "ZTOUTPUTTRAY=WIDESTACKER", PjlConverterKind::Fixed},
    {326, 7, "ZTOUTPUTTRAY=AUTOSTACKER", PjlConverterKind::Fixed},
    {327, 1, "ZTOUTPUTFACE=FACEUP", PjlConverterKind::Fixed},
    {327, 2, "ZTOUTPUTFACE=FACEDOWN", PjlConverterKind::Fixed},
    {328, 0, "ZTCONTINUOUSOUTPUT=OFF", PjlConverterKind::Fixed},
    {328, 1, "ZTCONTINUOUSOUTPUT=ON", PjlConverterKind::Fixed},
    {400, 0, "ZTREVERSEORDER=OFF", PjlConverterKind::Fixed},
    {400, 1, "ZTREVERSEORDER=ON", PjlConverterKind::Fixed},
    {401, 0, "ZTFORM=OFF", PjlConverterKind::Fixed},
    {401, 1, "ZTFORM=ON", PjlConverterKind::Fixed},
    {402, 1, "ZTFORMPATTERN=ONE", PjlConverterKind::Fixed},
    {402, 2, "ZTFORMPATTERN=DUPLONG", PjlConverterKind::Fixed},
    {402, 3, "ZTFORMPATTERN=DUPSHORT", PjlConverterKind::Fixed},
    {402, 4, "ZTFORMPATTERN=ONEDUPLONG", PjlConverterKind::Fixed},
    {402, 5, "ZTFORMPATTERN=ONEDUPSHORT", PjlConverterKind::Fixed},
    {403, 1, "ZTFORMSURFACE=FRONT", PjlConverterKind::Fixed},
    {403, 2, "ZTFORMSURFACE=BACK", PjlConverterKind::Fixed},
    {404, 0, "ZTFORMSEPARATE=OFF", PjlConverterKind::Fixed},
    {404, 1, "ZTFORMSEPARATE=ON", PjlConverterKind::Fixed},
    {405, -1, "ZTFORMSELECT1=%s", PjlConverterKind::HexUtf8},
    {406, -1, "ZTFORMSELECT2=%s", PjlConverterKind::HexUtf8},
    {407, 1, "ZTPRIORITYLAYER=OVERLAY", PjlConverterKind::Fixed},
    {407, 2, "ZTPRIORITYLAYER=ORIGINAL", PjlConverterKind::Fixed},
    {407, 3, "ZTPRIORITYLAYER=FORM", PjlConverterKind::Fixed},
    {408, 0, "ZTOWNERNAME=OFF", PjlConverterKind::Fixed},
    {408, 1, "ZTOWNERNAME=ON", PjlConverterKind::Fixed},
    {409, -1, "USERNAME=%s", PjlConverterKind::HexUtf8},
    {410, 0, "ZTJOBNAME=OFF", PjlConverterKind::Fixed},
    {410, 1, "ZTJOBNAME=ON", PjlConverterKind::Fixed},
    {411, -1, "JOBNAME=%s", PjlConverterKind::HexUtf8},
    {412, 0, "ZTSECRETNUM=OFF", PjlConverterKind::Fixed},
    {412, 1, "ZTSECRETNUM=ON", PjlConverterKind::Fixed},
    {413, -1, "PASSWORD=%s", PjlConverterKind::AnsiText},
    {414, 0, "ZTHIDEJOB=OFF", PjlConverterKind::Fixed},
    {414, 1, "ZTHIDEJOB=ON", PjlConverterKind::Fixed},
    {415, -1, "ZTJOBCOMMENT=%s", PjlConverterKind::HexUtf8},
    {416, 0, "ZTPRINTSPEED=STANDARD", PjlConverterKind::Fixed},
    {416, 11, "ZTPRINTSPEED=LOWSPEED", PjlConverterKind::Fixed},
    {800, -1, "ZTPJLVERSION=%s", PjlConverterKind::AnsiText},
    {801, -1, "ZTPJLIDENTIFIER=%s", PjlConverterKind::AnsiText},
    {802, -1, "ZTRIPCONTROLFLAG=%d", PjlConverterKind::Number},
    {803, -1, "ZTSOFTWARENAME=%s", PjlConverterKind::AnsiText},
    {804, -1, "ZTSOFTWAREVERSION=%s", PjlConverterKind::AnsiText},
    {805, -1, "ZTHOSTNAME=%s", PjlConverterKind::HexUtf8Limited},
};

namespace {

// The declared bound fills missing rows with zeros, so a row lost in editing
// shows up here as an empty assignment rather than as a shorter table.
constexpr bool AllRowsPresent() {
    for (const PjlSettingRow& row : kPjlSettingTable) {
        if (row.assignment == nullptr || row.assignment[0] == '\0') return false;
        if (row.setting < 0 || row.setting >= kPjlSettingNumberCount) return false;
    }
    return true;
}

// A setting's rows must be one run; a second run would be invisible to lookups.
constexpr bool SettingsAdjacentAndKeysUnique() {
    for (size_t i = 0; i < kPjlSettingRowCount; ++i) {
        for (size_t j = i + 1; j < kPjlSettingRowCount; ++j) {
            if (kPjlSettingTable[j].setting != kPjlSettingTable[i].setting) continue;
            if (kPjlSettingTable[j - 1].setting != kPjlSettingTable[i].setting) return false;
            if (kPjlSettingTable[j].key == kPjlSettingTable[i].key) return false;
        }
    }
    return true;
}

static_assert(AllRowsPresent(), "kPjlSettingTable has an empty or out-of-range row");
static_assert(SettingsAdjacentAndKeysUnique(), "kPjlSettingTable splits a setting or repeats a key");

struct PjlIndexEntry {
    int32_t first;  // position of the setting's first row in kPjlSettingTable
    int32_t count;  // 0 for a setting without rows
};

struct PjlSettingIndex {
    PjlIndexEntry entries[kPjlSettingNumberCount];
};

constexpr PjlSettingIndex MakeSettingIndex() {
    PjlSettingIndex index{};
    int32_t current = kPjlSettingTable[0].setting;
    int32_t first = 0;
    int32_t count = 0;
    for (const PjlSettingRow& row : kPjlSettingTable) {
        if (row.setting == current) {
            ++count;
        } else {
            index.entries[current] = PjlIndexEntry{first, count};
            first += count;
            current = row.setting;
            count = 1;
        }
    }
    index.entries[current] = PjlIndexEntry{first, count};
    return index;
}

// The index over kPjlSettingTable. It depends on nothing but the constant table,
// so it is computed when the program is compiled: it is complete before any
// thread can look anything up and is never cleared or rebuilt.
constexpr PjlSettingIndex kSettingIndex = MakeSettingIndex();

// Every row is reached through exactly one entry, the entry of its own setting.
constexpr bool IndexCoversEveryRowOnce() {
    int32_t total = 0;
    for (int32_t s = 0; s < kPjlSettingNumberCount; ++s) {
        const PjlIndexEntry& entry = kSettingIndex.entries[s];
        if (entry.count < 0 || entry.first < 0) return false;
        if (entry.first + entry.count > static_cast<int32_t>(kPjlSettingRowCount)) return false;
        for (int32_t i = entry.first; i < entry.first + entry.count; ++i) {
            if (kPjlSettingTable[i].setting != s) return false;
        }
        total += entry.count;
    }
    return total == static_cast<int32_t>(kPjlSettingRowCount);
}
static_assert(IndexCoversEveryRowOnce(), "the setting index misses or repeats a row of kPjlSettingTable");

// The setting whose assignment is `variable` followed by "=", or -1.
constexpr int32_t SettingNamed(const char* variable) {
    const std::string_view name(variable);
    for (const PjlSettingRow& row : kPjlSettingTable) {
        const std::string_view assignment(row.assignment);
        if (assignment.size() > name.size() && assignment.substr(0, name.size()) == name &&
            assignment[name.size()] == '=') {
            return row.setting;
        }
    }
    return -1;
}

// A row naming a variable the table lacks stops the build.
constexpr PjlIdentityRow Identity(const char* variable, PjlIdentityValue value, const Char16* text, int32_t number) {
    const int32_t setting = SettingNamed(variable);
    return PjlIdentityRow{setting >= 0 ? setting : throw "no PJL setting of that name", value, text, number};
}

constexpr bool SharedBoxNamed() {
    const std::string_view shared("ZTOUTPUTBOX=SHAREDBOX");
    for (const PjlSettingRow& row : kPjlSettingTable) {
        if (std::string_view(row.assignment).substr(0, shared.size()) == shared)
            return row.setting == kSharedBoxSetting;
    }
    return false;
}
static_assert(SharedBoxNamed(), "kSharedBoxSetting is the setting of the shared output boxes");

using ConverterFunction = void (*)(const char*, const PjlValue&, const PjlConverters&, std::string&);

ConverterFunction ConverterOf(PjlConverterKind kind) {
    switch (kind) {
        case PjlConverterKind::Fixed: return ConvertFixed;
        case PjlConverterKind::Split: return ConvertSplit;
        case PjlConverterKind::Number: return ConvertNumber;
        case PjlConverterKind::AnsiText: return ConvertAnsiText;
        case PjlConverterKind::HexUtf8: return ConvertHexUtf8;
        case PjlConverterKind::HexUtf8Limited: return ConvertHexUtf8Limited;
    }
    return nullptr;
}

}  // namespace

constexpr PjlIdentityRow kPjlIdentityTable[kPjlIdentityCount] = {
    Identity("ZTPJLVERSION", PjlIdentityValue::Text, TEXT16("2.00"), 0),
    Identity("ZTPJLIDENTIFIER", PjlIdentityValue::Text, TEXT16("KELV_IJ_PJL"), 0),
    Identity("ZTRIPCONTROLFLAG", PjlIdentityValue::Number, nullptr, 13),
    Identity("ZTSOFTWARENAME", PjlIdentityValue::Text, TEXT16("KELV_Windows_Postscript_Printer_Driver"), 0),
    Identity("ZTSOFTWAREVERSION", PjlIdentityValue::Text, TEXT16("1.17.004"), 0),
    Identity("ZTHOSTNAME", PjlIdentityValue::HostName, nullptr, 0),
};

std::string LookupSettingLines(int32_t setting, int32_t key, const PjlValue& value, const PjlConverters& converters) {
    std::string lines;
    if (setting < 0 || setting >= kPjlSettingNumberCount) return lines;
    const PjlIndexEntry& entry = kSettingIndex.entries[setting];
    for (int32_t i = entry.first; i < entry.first + entry.count; ++i) {
        const PjlSettingRow& row = kPjlSettingTable[i];
        if (row.key != key) continue;
        if (ConverterFunction convert = ConverterOf(row.converter)) convert(row.assignment, value, converters, lines);
        break;
    }
    return lines;
}

Status AppendSettingLines(int32_t setting, int32_t key, const PjlValue& value, const PjlConverters& converters,
                          std::string& lines) noexcept {
    const size_t before = lines.size();
    try {
        lines += LookupSettingLines(setting, key, value, converters);
        return kStatusOk;
    } catch (...) {
        lines.resize(before);
        CORE_TRACE_FAILURE(CaughtExceptionStatus(), "catch (...)");
        return kStatusOutOfMemory;
    }
}
