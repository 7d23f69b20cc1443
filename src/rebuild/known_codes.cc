// The company code table, written out in full so that it reads as the list it
// is, one row of codes per first letter. The rule behind it (the letters of
// the Italian alphabet, no rows for O and V, no second letter A, the A row
// starting at "AD") is checked against this list by the tests.
#include "rebuild/known_codes.h"

namespace rebuild {

// clang-format off
const std::array<std::string_view, KnownCodeCount> KnownCodes = {
    // 1: the test company, out of order on purpose
    "YY",
    // 2-19
    "AD", "AE", "AF", "AG", "AH", "AI", "AL", "AM",
    "AN", "AO", "AP", "AQ", "AR", "AS", "AT", "AU", "AV", "AZ",
    // 20-39
    "BB", "BC", "BD", "BE", "BF", "BG", "BH", "BI", "BL", "BM",
    "BN", "BO", "BP", "BQ", "BR", "BS", "BT", "BU", "BV", "BZ",
    // 40-59
    "CB", "CC", "CD", "CE", "CF", "CG", "CH", "CI", "CL", "CM",
    "CN", "CO", "CP", "CQ", "CR", "CS", "CT", "CU", "CV", "CZ",
    // 60-79
    "DB", "DC", "DD", "DE", "DF", "DG", "DH", "DI", "DL", "DM",
    "DN", "DO", "DP", "DQ", "DR", "DS", "DT", "DU", "DV", "DZ",
    // 80-99
    "EB", "EC", "ED", "EE", "EF", "EG", "EH", "EI", "EL", "EM",
    "EN", "EO", "EP", "EQ", "ER", "ES", "ET", "EU", "EV", "EZ",
    // 100-119
    "FB", "FC", "FD", "FE", "FF", "FG", "FH", "FI", "FL", "FM",
    "FN", "FO", "FP", "FQ", "FR", "FS", "FT", "FU", "FV", "FZ",
    // 120-139
    "GB", "GC", "GD", "GE", "GF", "GG", "GH", "GI", "GL", "GM",
    "GN", "GO", "GP", "GQ", "GR", "GS", "GT", "GU", "GV", "GZ",
    // 140-159
    "HB", "HC", "HD", "HE", "HF", "HG", "HH", "HI", "HL", "HM",
    "HN", "HO", "HP", "HQ", "HR", "HS", "HT", "HU", "HV", "HZ",
    // 160-179
    "IB", "IC", "ID", "IE", "IF", "IG", "IH", "II", "IL", "IM",
    "IN", "IO", "IP", "IQ", "IR", "IS", "IT", "IU", "IV", "IZ",
    // 180-199
    "LB", "LC", "LD", "LE", "LF", "LG", "LH", "LI", "LL", "LM",
    "LN", "LO", "LP", "LQ", "LR", "LS", "LT", "LU", "LV", "LZ",
    // 200-219
    "MB", "MC", "MD", "ME", "MF", "MG", "MH", "MI", "ML", "MM",
    "MN", "MO", "MP", "MQ", "MR", "MS", "MT", "MU", "MV", "MZ",
    // 220-239
    "NB", "NC", "ND", "NE", "NF", "NG", "NH", "NI", "NL", "NM",
    "NN", "NO", "NP", "NQ", "NR", "NS", "NT", "NU", "NV", "NZ",
    // 240-259
    "PB", "PC", "PD", "PE", "PF", "PG", "PH", "PI", "PL", "PM",
    "PN", "PO", "PP", "PQ", "PR", "PS", "PT", "PU", "PV", "PZ",
    // 260-279
    "QB", "QC", "QD", "QE", "QF", "QG", "QH", "QI", "QL", "QM",
    "QN", "QO", "QP", "QQ", "QR", "QS", "QT", "QU", "QV", "QZ",
    // 280-299
    "RB", "RC", "RD", "RE", "RF", "RG", "RH", "RI", "RL", "RM",
    "RN", "RO", "RP", "RQ", "RR", "RS", "RT", "RU", "RV", "RZ",
    // 300-319
    "SB", "SC", "SD", "SE", "SF", "SG", "SH", "SI", "SL", "SM",
    "SN", "SO", "SP", "SQ", "SR", "SS", "ST", "SU", "SV", "SZ",
    // 320-339
    "TB", "TC", "TD", "TE", "TF", "TG", "TH", "TI", "TL", "TM",
    "TN", "TO", "TP", "TQ", "TR", "TS", "TT", "TU", "TV", "TZ",
    // 340-359
    "UB", "UC", "UD", "UE", "UF", "UG", "UH", "UI", "UL", "UM",
    "UN", "UO", "UP", "UQ", "UR", "US", "UT", "UU", "UV", "UZ",
    // 360-379
    "ZB", "ZC", "ZD", "ZE", "ZF", "ZG", "ZH", "ZI", "ZL", "ZM",
    "ZN", "ZO", "ZP", "ZQ", "ZR", "ZS", "ZT", "ZU", "ZV", "ZZ",
};
// clang-format on

}  // namespace rebuild
