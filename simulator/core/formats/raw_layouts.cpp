#include "formats/raw_layouts.hpp"

#include <stdexcept>
#include <string>

namespace velquin::sim {

namespace {

std::vector<std::string_view> split_words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

RawField parse_field_word(std::string_view word) {
    const std::size_t colon = word.find(':');
    if (colon == std::string_view::npos || colon + 1 >= word.size())
        throw std::logic_error("bad field word " + std::string(word));
    RawField field{word.substr(0, colon)};
    switch (word[colon + 1]) {
        case 'i':
            field.type = RawFieldType::Integer;
            break;
        case 'r':
            field.type = RawFieldType::Real;
            break;
        case 't':
            field.type = RawFieldType::Text;
            break;
        case 'c':
            field.type = RawFieldType::Code;
            break;
        default:
            throw std::logic_error("bad field type " + std::string(word));
    }
    for (std::size_t i = colon + 2; i < word.size(); ++i) field.width = field.width * 10 + (word[i] - '0');
    return field;
}

}  // namespace

RawLayout::RawLayout(std::string_view kind, std::string_view canonical, std::string_view v33,
                     std::string_view v34, std::string_view v35)
    : kind_(kind) {
    for (const auto word : split_words(canonical)) fields_.push_back(parse_field_word(word));
    const std::string_view versions[3] = {v33, v34, v35};
    for (int v = 0; v < 3; ++v) {
        position_[v].assign(fields_.size(), -1);
        for (const auto name : split_words(versions[v])) {
            const int i = index(name);
            position_[v][i] = static_cast<int>(order_[v].size());
            order_[v].push_back(i);
        }
    }
}

int RawLayout::index(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == name) return static_cast<int>(i);
    throw std::logic_error(std::string(kind_) + " layout has no field " + std::string(name));
}

namespace raw_layout {

#define VELQUIN_RATINGS_3 " RATE1 RATE2 RATE3"
#define VELQUIN_RATINGS_12 " RATE1 RATE2 RATE3 RATE4 RATE5 RATE6 RATE7 RATE8 RATE9 RATE10 RATE11 RATE12"
#define VELQUIN_RATING_FIELDS \
    " RATE1:r RATE2:r RATE3:r RATE4:r RATE5:r RATE6:r RATE7:r RATE8:r RATE9:r RATE10:r RATE11:r RATE12:r"
#define VELQUIN_OWNERS " O1 F1 O2 F2 O3 F3 O4 F4"
#define VELQUIN_OWNER_FIELDS " O1:i F1:r O2:i F2:r O3:i F3:r O4:i F4:r"

const RawLayout& case_identification() {
    static const RawLayout l("case identification", "IC:i SBASE:r REV:i XFRRAT:c NXFRAT:c BASFRQ:r",
                             "IC SBASE REV XFRRAT NXFRAT BASFRQ", "IC SBASE REV XFRRAT NXFRAT BASFRQ",
                             "IC SBASE REV XFRRAT NXFRAT BASFRQ");
    return l;
}

const RawLayout& bus() {
    static const RawLayout l(
        "bus", "I:i NAME:t12 BASKV:r IDE:i AREA:i ZONE:i OWNER:i VM:r VA:r NVHI:r NVLO:r EVHI:r EVLO:r",
        "I NAME BASKV IDE AREA ZONE OWNER VM VA NVHI NVLO EVHI EVLO",
        "I NAME BASKV IDE AREA ZONE OWNER VM VA NVHI NVLO EVHI EVLO",
        "I NAME BASKV IDE AREA ZONE OWNER VM VA NVHI NVLO EVHI EVLO");
    return l;
}

const RawLayout& load() {
#define F "I ID STAT AREA ZONE PL QL IP IQ YP YQ OWNER SCALE INTRPT"
    static const RawLayout l(
        "load",
        "I:i ID:t2 STAT:i AREA:i ZONE:i PL:r QL:r IP:r IQ:r YP:r YQ:r OWNER:i SCALE:i INTRPT:i "
        "DGENP:r DGENQ:r DGENF:i LOADTYPE:t12",
        F, F " DGENP DGENQ DGENF", F " DGENP DGENQ DGENF LOADTYPE");
#undef F
    return l;
}

const RawLayout& fixed_shunt() {
    static const RawLayout l("fixed shunt", "I:i ID:t2 STAT:i GL:r BL:r", "I ID STAT GL BL",
                             "I ID STAT GL BL", "I ID STAT GL BL");
    return l;
}

const RawLayout& generator() {
    static const RawLayout l(
        "generator",
        "I:i ID:t2 PG:r QG:r QT:r QB:r VS:r IREG:i NREG:i MBASE:r ZR:r ZX:r RT:r XT:r GTAP:r STAT:i RMPCT:r "
        "PT:r PB:r BASLOD:i" VELQUIN_OWNER_FIELDS " WMOD:i WPF:r",
        "I ID PG QG QT QB VS IREG MBASE ZR ZX RT XT GTAP STAT RMPCT PT PB" VELQUIN_OWNERS " WMOD WPF",
        "I ID PG QG QT QB VS IREG MBASE ZR ZX RT XT GTAP STAT RMPCT PT PB" VELQUIN_OWNERS " WMOD WPF NREG",
        "I ID PG QG QT QB VS IREG NREG MBASE ZR ZX RT XT GTAP STAT RMPCT PT PB BASLOD" VELQUIN_OWNERS
        " WMOD WPF");
    return l;
}

const RawLayout& branch() {
#define TAIL " GI BI GJ BJ ST MET LEN" VELQUIN_OWNERS
    static const RawLayout l("branch",
                             "I:i J:i CKT:t2 R:r X:r B:r NAME:t40" VELQUIN_RATING_FIELDS
                             " GI:r BI:r GJ:r BJ:r ST:i MET:i LEN:r" VELQUIN_OWNER_FIELDS,
                             "I J CKT R X B" VELQUIN_RATINGS_3 TAIL,
                             "I J CKT R X B NAME" VELQUIN_RATINGS_12 TAIL,
                             "I J CKT R X B NAME" VELQUIN_RATINGS_12 TAIL);
#undef TAIL
    return l;
}

const RawLayout& switching_device() {
#define F "I J CKT X" VELQUIN_RATINGS_12 " STAT NSTAT MET STYPE NAME"
    static const RawLayout l(
        "system switching device",
        "I:i J:i CKT:t2 X:r" VELQUIN_RATING_FIELDS " STAT:i NSTAT:i MET:i STYPE:i NAME:t40", "", F, F);
#undef F
    return l;
}

const RawLayout& transformer() {
#define F "I J K CKT CW CZ CM MAG1 MAG2 NMETR NAME STAT" VELQUIN_OWNERS " VECGRP"
    static const RawLayout l(
        "transformer",
        "I:i J:i K:i CKT:t2 CW:i CZ:i CM:i MAG1:r MAG2:r NMETR:i NAME:t12 STAT:i" VELQUIN_OWNER_FIELDS
        " VECGRP:t12 ZCOD:i",
        F, F " ZCOD", F " ZCOD");
#undef F
    return l;
}

const RawLayout& transformer_impedance() {
#define F "R1-2 X1-2 SBASE1-2 R2-3 X2-3 SBASE2-3 R3-1 X3-1 SBASE3-1 VMSTAR ANSTAR"
    static const RawLayout l(
        "transformer impedance",
        "R1-2:r X1-2:r SBASE1-2:r R2-3:r X2-3:r SBASE2-3:r R3-1:r X3-1:r SBASE3-1:r VMSTAR:r "
        "ANSTAR:r",
        F, F, F);
#undef F
    return l;
}

const RawLayout& winding() {
#define TAIL " RMA RMI VMA VMI NTP TAB CR CX CNXA"
    static const RawLayout l("transformer winding",
                             "WINDV:r NOMV:r ANG:r" VELQUIN_RATING_FIELDS
                             " COD:i CONT:i NOD:i RMA:r RMI:r VMA:r VMI:r NTP:i TAB:i CR:r CX:r CNXA:r",
                             "WINDV NOMV ANG" VELQUIN_RATINGS_3 " COD CONT" TAIL,
                             "WINDV NOMV ANG" VELQUIN_RATINGS_12 " COD CONT" TAIL " NOD",
                             "WINDV NOMV ANG" VELQUIN_RATINGS_12 " COD CONT NOD" TAIL);
#undef TAIL
    return l;
}

const RawLayout& area() {
    static const RawLayout l("area", "I:i ISW:i PDES:r PTOL:r ARNAME:t12", "I ISW PDES PTOL ARNAME",
                             "I ISW PDES PTOL ARNAME", "I ISW PDES PTOL ARNAME");
    return l;
}

const RawLayout& two_terminal_dc() {
#define F "NAME MDC RDC SETVL VSCHD VCMOD RCOMP DELTI METER DCVMIN CCCITMX CCCACC"
    static const RawLayout l(
        "two-terminal DC line",
        "NAME:t12 MDC:i RDC:r SETVL:r VSCHD:r VCMOD:r RCOMP:r DELTI:r METER:t DCVMIN:r CCCITMX:i "
        "CCCACC:r",
        F, F, F);
#undef F
    return l;
}

const RawLayout& two_terminal_converter() {
#define HEAD "IP NB ANMX ANMN RC XC EBAS TR TAP TMX TMN STP IC"
    static const RawLayout l(
        "two-terminal DC converter",
        "IP:i NB:i ANMX:r ANMN:r RC:r XC:r EBAS:r TR:r TAP:r TMX:r TMN:r STP:r IC:i ND:i IF:i "
        "IT:i ID:t2 XCAP:r",
        HEAD " IF IT ID XCAP", HEAD " IF IT ID XCAP ND", HEAD " ND IF IT ID XCAP");
#undef HEAD
    return l;
}

const RawLayout& vsc_dc() {
#define F "NAME MDC RDC" VELQUIN_OWNERS
    static const RawLayout l("VSC DC line", "NAME:t12 MDC:i RDC:r" VELQUIN_OWNER_FIELDS, F, F, F);
#undef F
    return l;
}

const RawLayout& vsc_converter() {
#define HEAD "IBUS TYPE MODE DCSET ACSET ALOSS BLOSS MINLOSS SMAX IMAX PWF MAXQ MINQ VSREG"
    static const RawLayout l(
        "VSC DC converter",
        "IBUS:i TYPE:i MODE:i DCSET:r ACSET:r ALOSS:r BLOSS:r MINLOSS:r SMAX:r IMAX:r PWF:r "
        "MAXQ:r MINQ:r VSREG:i NREG:i RMPCT:r",
        HEAD " RMPCT", HEAD " RMPCT NREG", HEAD " NREG RMPCT");
#undef HEAD
    return l;
}

const RawLayout& mtdc() {
#define F "NAME NCONV NDCBS NDCLN MDC VCONV VCMOD VCONVN"
    static const RawLayout l("multi-terminal DC line",
                             "NAME:t12 NCONV:i NDCBS:i NDCLN:i MDC:i VCONV:i VCMOD:r VCONVN:i", F, F, F);
#undef F
    return l;
}

const RawLayout& mtdc_converter() {
#define F "IB N ANGMX ANGMN RC XC EBAS TR TAP TPMX TPMN TSTP SETVL DCPF MARG CNVCOD"
    static const RawLayout l(
        "multi-terminal DC converter",
        "IB:i N:i ANGMX:r ANGMN:r RC:r XC:r EBAS:r TR:r TAP:r TPMX:r TPMN:r TSTP:r SETVL:r "
        "DCPF:r MARG:r CNVCOD:i",
        F, F, F);
#undef F
    return l;
}

const RawLayout& mtdc_bus() {
#define F "IDC IB AREA ZONE DCNAME IDC2 RGRND OWNER"
    static const RawLayout l("multi-terminal DC bus",
                             "IDC:i IB:i AREA:i ZONE:i DCNAME:t12 IDC2:i RGRND:r OWNER:i", F, F, F);
#undef F
    return l;
}

const RawLayout& mtdc_link() {
#define F "IDC JDC DCCKT MET RDC LDC"
    static const RawLayout l("multi-terminal DC link", "IDC:i JDC:i DCCKT:t1 MET:i RDC:r LDC:r", F, F, F);
#undef F
    return l;
}

const RawLayout& multi_section_line() {
#define F "I J ID MET DUM1 DUM2 DUM3 DUM4 DUM5 DUM6 DUM7 DUM8 DUM9"
    static const RawLayout l(
        "multi-section line",
        "I:i J:i ID:t2 MET:i DUM1:i DUM2:i DUM3:i DUM4:i DUM5:i DUM6:i DUM7:i DUM8:i DUM9:i", F, F, F);
#undef F
    return l;
}

const RawLayout& zone() {
    static const RawLayout l("zone", "I:i ZONAME:t12", "I ZONAME", "I ZONAME", "I ZONAME");
    return l;
}

const RawLayout& inter_area_transfer() {
    static const RawLayout l("inter-area transfer", "ARFROM:i ARTO:i TRID:t1 PTRAN:r",
                             "ARFROM ARTO TRID PTRAN", "ARFROM ARTO TRID PTRAN", "ARFROM ARTO TRID PTRAN");
    return l;
}

const RawLayout& owner() {
    static const RawLayout l("owner", "I:i OWNAME:t12", "I OWNAME", "I OWNAME", "I OWNAME");
    return l;
}

const RawLayout& facts() {
#define HEAD \
    "NAME I J MODE PDES QDES VSET SHMX TRMX VTMN VTMX VSMX IMX LINX RMPCT OWNER SET1 SET2 VSREF FCREG"
    static const RawLayout l(
        "FACTS device",
        "NAME:t12 I:i J:i MODE:i PDES:r QDES:r VSET:r SHMX:r TRMX:r VTMN:r VTMX:r VSMX:r IMX:r "
        "LINX:r RMPCT:r OWNER:i SET1:r SET2:r VSREF:i FCREG:i NREG:i MNAME:t12",
        HEAD " MNAME", HEAD " MNAME NREG", HEAD " NREG MNAME");
#undef HEAD
    return l;
}

const RawLayout& switched_shunt() {
#define BLOCKS33 " N1 B1 N2 B2 N3 B3 N4 B4 N5 B5 N6 B6 N7 B7 N8 B8"
    static const RawLayout l(
        "switched shunt",
        "I:i ID:t2 MODSW:i ADJM:i STAT:i VSWHI:r VSWLO:r SWREG:i NREG:i RMPCT:r RMIDNT:t12 BINIT:r "
        "S1:i N1:i B1:r S2:i N2:i B2:r S3:i N3:i B3:r S4:i N4:i B4:r S5:i N5:i B5:r S6:i N6:i B6:r "
        "S7:i N7:i B7:r S8:i N8:i B8:r",
        "I MODSW ADJM STAT VSWHI VSWLO SWREG RMPCT RMIDNT BINIT" BLOCKS33,
        "I MODSW ADJM STAT VSWHI VSWLO SWREG RMPCT RMIDNT BINIT" BLOCKS33 " NREG",
        "I ID MODSW ADJM STAT VSWHI VSWLO SWREG NREG RMPCT RMIDNT BINIT S1 N1 B1 S2 N2 B2 S3 N3 B3 S4 N4 B4 "
        "S5 N5 B5 S6 N6 B6 S7 N7 B7 S8 N8 B8");
#undef BLOCKS33
    return l;
}

const RawLayout& gne() {
    static const RawLayout l(
        "GNE device", "NAME:t12 MODEL:t12 NTERM:i NREAL:i NINTG:i NCHAR:i ST:i OWNER:i NMETR:i", "", "", "");
    return l;
}

const RawLayout& induction_machine() {
#define F                                                                                                    \
    "I ID STAT SCODE DCODE AREA ZONE OWNER TCODE BCODE MBASE RATEKV PCODE PSET H A B D E RA XA XM R1 X1 R2 " \
    "X2 X3 E1 SE1 E2 SE2 IA1 IA2 XAMULT"
    static const RawLayout l(
        "induction machine",
        "I:i ID:t2 STAT:i SCODE:i DCODE:i AREA:i ZONE:i OWNER:i TCODE:i BCODE:i MBASE:r "
        "RATEKV:r PCODE:i PSET:r H:r A:r B:r D:r E:r RA:r XA:r XM:r R1:r X1:r R2:r X2:r X3:r "
        "E1:r SE1:r E2:r SE2:r IA1:r IA2:r XAMULT:r",
        F, F, F);
#undef F
    return l;
}

const RawLayout& substation() {
#define F "IS NAME LATITUDE LONGITUDE SGR"
    static const RawLayout l("substation", "IS:i NAME:t40 LATITUDE:r LONGITUDE:r SGR:r", F, F, F);
#undef F
    return l;
}

const RawLayout& substation_node() {
#define F "NI NAME I STATUS VM VA"
    static const RawLayout l("substation node", "NI:i NAME:t40 I:i STATUS:i VM:r VA:r", F, F, F);
#undef F
    return l;
}

const RawLayout& substation_switching_device() {
#define F "NI NJ CKTID NAME TYPE STATUS NSTAT X RATE1 RATE2 RATE3"
    static const RawLayout l(
        "substation switching device",
        "NI:i NJ:i CKTID:t2 NAME:t40 TYPE:i STATUS:i NSTAT:i X:r RATE1:r RATE2:r RATE3:r", F, F, F);
#undef F
    return l;
}

#undef VELQUIN_RATINGS_3
#undef VELQUIN_RATINGS_12
#undef VELQUIN_RATING_FIELDS
#undef VELQUIN_OWNERS
#undef VELQUIN_OWNER_FIELDS

}  // namespace raw_layout

}  // namespace velquin::sim
