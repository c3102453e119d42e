"""The decisive round trip: a case holding every element kind is saved, read
with caspy, created element by element into an empty case through the
argument mappings the element transfer uses, saved and read again. The two
readings must agree field by field."""

import math

import pytest

# ------------------------------------------------------------ the source case

BUSES = [
    dict(ibus=101, intgar=[3, 1, 1, 1], realar=[345.0, 1.04, 0.0, 1.1, 0.9, 1.15, 0.85], name="SWING"),
    dict(ibus=102, intgar=[2, 2, 3, 4], realar=[345.0, 1.02, -3.5, 1.08, 0.92, 1.12, 0.88], name="PV BUS"),
    dict(ibus=103, intgar=[1, 2, 3, 5], realar=[138.0, 0.99, -7.25, 1.06, 0.94, 1.1, 0.9], name="LOAD A"),
    dict(ibus=104, intgar=[1, 7, 8, 9], realar=[138.0, 1.01, -8.0, 1.05, 0.95, 1.1, 0.9], name="CAP"),
    dict(ibus=105, intgar=[1, 7, 8, 9], realar=[13.8, 0.98, -10.0, 1.05, 0.95, 1.1, 0.9], name="FEED"),
    dict(ibus=106, intgar=[1, 1, 1, 1], realar=[13.8, 1.0, -11.0, 1.1, 0.9, 1.1, 0.9], name=""),
    dict(ibus=107, intgar=[1, 3, 3, 3], realar=[230.0, 1.0, -5.0, 1.1, 0.9, 1.1, 0.9], name="T3 HV"),
    dict(ibus=108, intgar=[1, 3, 3, 3], realar=[69.0, 1.0, -6.0, 1.1, 0.9, 1.1, 0.9], name="T3 MV"),
    dict(ibus=109, intgar=[4, 3, 3, 3], realar=[13.2, 1.0, -6.5, 1.1, 0.9, 1.1, 0.9], name="T3 LV"),
    dict(ibus=110, intgar=[1, 6, 6, 6], realar=[0.69, 1.01, -12.0, 1.1, 0.9, 1.1, 0.9], name="MOTORS"),
]

LINES = [
    dict(ibus=101, jbus=102, ckt="1", intgar=[1, 101, 1, 2, 0, 0],
         realar=[0.002, 0.03, 0.45, 0.001, 0.02, 0.003, -0.01, 42.5, 0.6, 0.4, 1.0, 1.0],
         ratings=[float(100 * k) for k in range(1, 13)], namear="NORTH TIE"),
    dict(ibus=102, jbus=103, ckt="B2", intgar=[0, 103, 2, 3, 4, 5],
         realar=[0.01, 0.1, 0.02, 0.0, 0.0, 0.0, 0.0, 7.0, 0.25, 0.25, 0.25, 0.25],
         ratings=[1.5 * k for k in range(12)], namear=""),
    dict(ibus=101, jbus=102, ckt="2", intgar=[1, 102, 4, 0, 0, 0], realar=[0.0, 0.031],
         namear="PARALLEL"),
]

TWO_WINDING = [
    # CW 2 (kV), CZ 3 (load loss and |Z|), CM 2, controlled bus, metered at bus 104.
    dict(ibus=103, jbus=104, ckt="T1",
         intgar=[1, 104, 3, 4, 0, 0, 17, 2, 1, 104, 0, 0, 1, 2, 3, 2],
         realari=[250000.0, 0.12, 60.0, 140.0, 138.0, 0.0, 137.5, 138.0, 0.7, 0.3, 1.0, 1.0, 42000.0, 0.004,
                  150.0, 126.0, 1.04, 0.98, 0.001, 0.02, 0.0],
         ratings=[60.0 + k for k in range(12)], namear="MAIN XFMR", vgrpar="YNd1"),
    # A phase shifter, CW 3, winding-1 data with zero tap count would take
    # the winding-2 value; here winding 1 carries its own.
    dict(ibus=106, jbus=105, ckt="P", intgar=[0, 106, 1, 0, 0, 0, 33, 0, 1, 0, 0, 0, -3, 3, 1, 1],
         realari=[0.0, 0.05, 100.0, 1.01, 13.8, 30.0, 0.99, 13.8, 1.0, 1.0, 1.0, 1.0, 0.0, -0.002,
                  45.0, -45.0, 20.0, -20.0, 0.0, 0.0, 15.0],
         ratings=[0.0] * 12, namear="PST", vgrpar=""),
]

THREE_WINDING = [
    dict(imped=dict(ibus=107, jbus=108, kbus=109, ckt="A",
                    intgar=[3, 4, 0, 0, 3, 2, 1, 2, 109, 107, 0, 1],
                    realari=[0.003, 0.09, 0.004, 0.12, 0.005, 0.15, 120.0, 60.0, 80.0, 0.001, -0.003,
                             0.5, 0.5, 1.0, 1.0],
                    namear="STAR A", vgrpar="YNyn0d1"),
         windings=[
             dict(intgar=[21, 1, 108, 0, 0, 1], realari=[1.02, 230.0, 0.0, 1.1, 0.9, 1.05, 0.97, 0.0, 0.0, 0.0],
                  ratings=[120.0] * 12),
             dict(intgar=[5, 0, 0, 0, 0, 0], realari=[0.98, 69.0, -30.0, 1.2, 0.8, 1.1, 0.9, 0.01, 0.02, 1.5],
                  ratings=[60.0 + k for k in range(12)]),
             dict(intgar=[9, 0, -107, 0, 0, -1], realari=[1.0, 0.0, 30.0, 1.15, 0.85, 1.08, 0.95, 0.0, 0.0, 0.0],
                  ratings=[float(k) for k in range(12)]),
         ]),
    dict(imped=dict(ibus=101, jbus=103, kbus=110, ckt="1", intgar=[1, 0, 0, 0, 1, 1, 1, 1, 103, 101, 0, 0]),
         windings=[]),
]

PLANTS_AND_MACHINES = [
    (dict(ibus=101, inode=0, intgar=[0, 0], realar=[1.04, 70.0]),
     dict(ibus=101, id="1", intgar=[1, 1, 2, 0, 0, 0, 1],
          realar=[150.0, 20.0, 90.0, -60.0, 200.0, 10.0, 250.0, 0.003, 0.25, 0.001, 0.08, 1.025, 0.6, 0.4, 1.0,
                  1.0, 1.0],
          namear=["", "UNIT ONE"])),
    (dict(ibus=101, inode=0, intgar=[0, 0], realar=[1.04, 30.0]),
     dict(ibus=101, id="2", intgar=[0, 1, 0, 0, 0, 0, 0],
          realar=[75.5, -5.25, 45.0, -30.0, 100.0, 0.0, 120.0, 0.0, 0.2, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0],
          namear=["", "UNIT TWO"])),
    (dict(ibus=102, inode=0, intgar=[103, 0], realar=[1.015, 100.0]),
     dict(ibus=102, id="W1", intgar=[1, 2, 3, 4, 5, 2, 0],
          realar=[33.3, 1.1, 10.0, -10.0, 40.0, 0.0, 44.0, 0.0, 0.3, 0.0, 0.0, 1.0, 0.25, 0.25, 0.25, 0.25, 0.95],
          namear=["", "WIND"])),
]

FIXED_SHUNTS = [
    dict(ibus=103, id="1", intgar=[1], realar=[0.5, 25.0], name="F1"),
    dict(ibus=103, id="2", intgar=[0], realar=[0.0, -12.75], name=""),
]

SWITCHED_SHUNTS = [
    dict(ibus=104, id="S1", intgar=[1, 2, 3, 1, 2, 3, 1, 9, 2, 103, 0, 1, 1, 1, 0, 1, 0, 1, 1, 0, 1],
         realar=[10.0, 5.0, -2.5, 7.75, 1.0, 2.0, 3.0, 0.25, 1.02, 0.98, 12.5, 80.0], swsnam="BANK"),
    dict(ibus=104, id="S2", intgar=[1] + [0] * 20, realar=[15.0], swsnam=""),
]

LOADS = [
    dict(ibus=105, id="1", intgar=[1, 7, 8, 9, 1, 0, 0], realar=[10.0, 5.0, 1.0, 0.5, 0.25, -0.125, 0.0, 0.0],
         ldname="RES"),
    dict(ibus=105, id="2", intgar=[0, 2, 3, 4, 0, 1, 1], realar=[3.3, 1.1, 0.0, 0.0, 0.0, 0.0, 1.5, 0.5],
         ldname="COM"),
    dict(ibus=103, id="IN", intgar=[1, 2, 3, 5, 1, 0, 0], realar=[20.0, 6.0], ldname=""),
]

INDUCTION_MACHINES = [
    dict(ibus=110, id="M1", intgar=[1, 2, 3, 6, 6, 6, 2, 2, 2],
         realar=[5.0, 0.69, -3.5, 0.8, 0.9, 1.1, 1.2, 1.3, 0.01, 0.1, 3.0, 0.02, 0.12, 0.03, 0.13, 0.05, 1.0,
                 0.05, 1.2, 0.2, 1.5, 2.5, 0.8],
         indnamear="PUMP"),
    dict(ibus=110, id="M2", intgar=[0, 1, 2, 6, 6, 6, 1, 1, 1], realar=[2.0], indnamear=""),
]


def build_source_case(p):
    assert p.newcase_2(basemva=250.0, basefreq=50.0, titl1="SOURCE") == 0
    for b in BUSES:
        assert p.bus_data_4(inode=0, **b) == 0
    for line in LINES:
        assert p.branch_data_4(**line) == 0
    for t in TWO_WINDING:
        assert p.two_winding_data_6(**t)[0] == 0
    for t in THREE_WINDING:
        assert p.three_wnd_imped_data_4(**t["imped"])[0] == 0
        bus_keys = {k: t["imped"][k] for k in ("ibus", "jbus", "kbus", "ckt")}
        for w, winding in enumerate(t["windings"], start=1):
            assert p.three_wnd_winding_data_5(warg=w, **bus_keys, **winding)[0] == 0
    for plant, machine in PLANTS_AND_MACHINES:
        assert p.plant_data_4(**plant) == 0
        assert p.machine_data_5(**machine) == 0
    for s in FIXED_SHUNTS:
        assert p.shunt_data_2(**s) == 0
    for s in SWITCHED_SHUNTS:
        assert p.switched_shunt_data_6(**s) == 0
    for load in LOADS:
        assert p.load_data_7(**load) == 0
    for m in INDUCTION_MACHINES:
        assert p.induction_machine_data_2(**m) == 0


# ------------------------------------- the transfer's mappings, by version


def w1(values):
    """Winding 1's value unless it is zero, else winding 2's."""
    return values[0] if values[0] != 0 else values[1]


def transfer(p, case, version):
    """Creates every element of `case` in the case in memory, as the element
    transfer does for a simulator of `version`; every call must succeed."""
    def ok(result):
        assert (result[0] if isinstance(result, tuple) else result) == 0

    bus = case.pssbus
    for i, num in enumerate(bus["NUM"]):
        if num > 999999:  # internal buses are dropped before the transfer
            continue
        ok(p.bus_data_4(ibus=num, inode=0, intgar1=bus["IDE"][i], intgar2=bus["AREA"][i],
                        intgar3=bus["ZONE"][i], intgar4=bus["OWNER"][i], realar1=bus["BASKV"][i],
                        realar2=bus["VM"][i], realar3=bus["VA"][i], realar4=bus["NMAXV"][i],
                        realar5=bus["NMINV"][i], realar6=bus["EMAXV"][i], realar7=bus["EMINV"][i],
                        name=bus["NAME"][i]))

    brn = case.casbrn
    branch_op = p.branch_data_4 if version >= 36.0 else p.branch_data_3
    for i in range(case.cas_nbrn):
        kw = dict(ibus=brn["FRMBUS"][i], jbus=brn["TOBUS"][i], ckt=brn["CKT"][i], intgar1=brn["STAT"][i],
                  intgar2=brn["METBUS"][i], realar1=brn["RX"][i].real, realar2=brn["RX"][i].imag,
                  realar3=brn["B"][i], realar4=brn["GBI"][i].real, realar5=brn["GBI"][i].imag,
                  realar6=brn["GBJ"][i].real, realar7=brn["GBJ"][i].imag, realar8=brn["LINLEN"][i],
                  namear=brn["BRNAME"][i])
        for k in range(4):
            kw[f"intgar{3 + k}"] = brn["OWNER"][i][k]
            kw[f"realar{9 + k}"] = brn["OWNPCT"][i][k]
        for k in range(12):
            kw[f"ratings{k + 1}"] = brn["RATINGS"][i][k]
        ok(branch_op(**kw))

    trn = case.castrn
    newer = version > 34
    for i in range(case.cas_ntrn):
        b1, b2, b3 = trn["BUSNUM"][i]
        ckt = trn["CKT"][i]
        if b3 == 0:
            kw = dict(ibus=b1, jbus=b2, ckt=ckt, intgar1=trn["STAT"][i], intgar2=trn["METBUS"][i],
                      intgar7=w1(trn["NTAPS"][i]), intgar8=trn["TABLE"][i][0], intgar10=w1(trn["CONBUS"][i]),
                      intgar11=trn["NOD"][i][0] if newer else 0, intgar13=w1(trn["CNTL"][i]),
                      intgar14=trn["CW"][i], intgar15=trn["CZ"][i], intgar16=trn["CM"][i],
                      realari1=trn["RX"][i][0].real, realari2=trn["RX"][i][0].imag, realari3=trn["SBASE"][i][0],
                      realari4=trn["WIND"][i][0], realari5=trn["NOMV"][i][0], realari6=w1(trn["ANG"][i]),
                      realari7=trn["WIND"][i][1], realari8=trn["NOMV"][i][1], realari13=trn["MAG1"][i],
                      realari14=trn["MAG2"][i], realari15=w1(trn["RMAX"][i]), realari16=w1(trn["RMIN"][i]),
                      realari17=w1(trn["VMAX"][i]), realari18=w1(trn["VMIN"][i]),
                      realari19=trn["XFRCMP"][i][0].real, realari20=trn["XFRCMP"][i][0].imag,
                      realari21=trn["CNXA"][i][0], namear=trn["TRNAME"][i], vgrpar=trn["VECGRP"][i])
            for k in range(4):
                kw[f"intgar{3 + k}"] = trn["OWNER"][i][k]
                kw[f"realari{9 + k}"] = trn["OWNPCT"][i][k]
            for k in range(12):
                kw[f"ratings{k + 1}"] = trn["RATINGS"][i][0][k]
            ok(p.two_winding_data_6(**kw))
            continue
        kw = dict(ibus=b1, jbus=b2, kbus=b3, ckt=ckt, intgar5=trn["CW"][i], intgar6=trn["CZ"][i],
                  intgar7=trn["CM"][i], intgar8=trn["STAT"][i], intgar9=trn["METBUS"][i],
                  intgar12=trn["ZCOD"][i] if newer else 0, realari10=trn["MAG1"][i], realari11=trn["MAG2"][i],
                  namear=trn["TRNAME"][i], vgrpar=trn["VECGRP"][i])
        for k in range(3):
            kw[f"realari{2 * k + 1}"] = trn["RX"][i][k].real
            kw[f"realari{2 * k + 2}"] = trn["RX"][i][k].imag
            kw[f"realari{7 + k}"] = trn["SBASE"][i][k]
        for k in range(4):
            kw[f"intgar{1 + k}"] = trn["OWNER"][i][k]
            kw[f"realari{12 + k}"] = trn["OWNPCT"][i][k]
        ok(p.three_wnd_imped_data_4(**kw))
        for w in (1, 2, 3):
            k = w - 1
            kw = dict(ibus=b1, jbus=b2, kbus=b3, ckt=ckt, warg=w, intgar1=trn["NTAPS"][i][k],
                      intgar2=trn["TABLE"][i][k], intgar3=trn["CONBUS"][i][k],
                      intgar4=trn["NOD"][i][k] if newer else 0, intgar6=trn["CNTL"][i][k],
                      realari1=trn["WIND"][i][k], realari2=trn["NOMV"][i][k], realari3=trn["ANG"][i][k],
                      realari4=trn["RMAX"][i][k], realari5=trn["RMIN"][i][k], realari6=trn["VMAX"][i][k],
                      realari7=trn["VMIN"][i][k], realari8=trn["XFRCMP"][i][k].real,
                      realari9=trn["XFRCMP"][i][k].imag, realari10=trn["CNXA"][i][k])
            for r in range(12):
                kw[f"ratings{r + 1}"] = trn["RATINGS"][i][k][r]
            ok(p.three_wnd_winding_data_5(**kw))

    gen = case.pssgen
    machine_op = (p.machine_data_5 if version >= 36.0 else p.machine_data_4 if version >= 35.3
                  else p.machine_data_3 if version >= 35.0 else p.machine_data_2)
    for i, num in enumerate(gen["NUM"]):
        ok(p.plant_data_4(ibus=num, inode=0, intgar1=gen["IREG"][i], intgar2=gen["NREG"][i] if newer else 0,
                          realar1=gen["VS"][i], realar2=gen["RMPCT"][i]))
        kw = dict(ibus=num, id=gen["IDE"][i], intgar1=gen["STAT"][i], intgar6=gen["WMOD"][i],
                  realar1=gen["PG"][i] * 100, realar2=gen["QG"][i] * 100, realar3=gen["QT"][i] * 100,
                  realar4=gen["QB"][i] * 100, realar5=gen["PT"][i] * 100, realar6=gen["PB"][i] * 100,
                  realar7=gen["MBASE"][i], realar8=gen["ZSORCE"][i].real, realar9=gen["ZSORCE"][i].imag,
                  realar10=gen["XTRAN"][i].real, realar11=gen["XTRAN"][i].imag, realar12=gen["GTAP"][i],
                  realar17=gen["WPF"][i])
        for k in range(4):
            kw[f"intgar{2 + k}"] = gen["OWNER"][i][k]
            kw[f"realar{13 + k}"] = gen["OWNPCT"][i][k]
        if version >= 36.0:
            kw.update(intgar7=gen["BASLOD"][i], namear2=gen["MCNAME"][i])
        ok(machine_op(**kw))

    fsh = case.pssfsh
    for i, num in enumerate(fsh["NUM"]):
        op = p.shunt_data_2 if version >= 36.0 else p.shunt_data
        ok(op(ibus=num, id=fsh["ID"][i], intgar1=fsh["STATUS"][i], realar1=fsh["SHUNT"][i].real * 100,
              realar2=fsh["SHUNT"][i].imag * 100))

    wsh = case.psswsh
    for i, num in enumerate(wsh["NUM"]):
        kw = dict(ibus=num, id=wsh["ID"][i], intgar9=wsh["MODSW"][i], intgar10=wsh["SWREM"][i],
                  intgar11=wsh["SWNOD"][i], intgar12=wsh["STAT"][i], intgar13=wsh["ADJM"][i],
                  intgar14=wsh["SI"][i][0], realar9=wsh["VSWHI"][i], realar10=wsh["VSWLO"][i],
                  realar11=wsh["BINIT"][i], realar12=wsh["RMPCT"][i])
        for k in range(8):
            kw[f"intgar{1 + k}"] = wsh["NI"][i][k]
            kw[f"realar{1 + k}"] = wsh["BI"][i][k] * 100
        if version >= 35.0:
            for k in range(1, 8):
                kw[f"intgar{14 + k}"] = wsh["SI"][i][k]
        if version >= 36.0:
            kw["swsnam"] = wsh["SWNAME"][i]
            ok(p.switched_shunt_data_6(**kw))
        elif version >= 35.0:
            ok(p.switched_shunt_data_5(**kw))
        else:
            ok(p.switched_shunt_data_4(**kw))

    lod = case.psslod
    load_op = p.load_data_7 if version >= 36.0 else p.load_data_6 if version >= 35.0 else p.load_data_5
    for i, num in enumerate(lod["NUM"]):
        kw = dict(ibus=num, id=lod["ID"][i], intgar1=lod["STATUS"][i], intgar2=lod["AREA"][i],
                  intgar3=lod["ZONE"][i], intgar4=lod["OWNER"][i], intgar5=lod["LDSCALE"][i],
                  intgar6=lod["LDINT"][i], intgar7=lod["DGENM"][i], realar7=lod["DGENPQ"][i].real * 100,
                  realar8=lod["DGENPQ"][i].imag * 100)
        for k in range(3):
            kw[f"realar{2 * k + 1}"] = lod["LOAD"][i][k].real * 100
            kw[f"realar{2 * k + 2}"] = lod["LOAD"][i][k].imag * 100
        if version >= 36.0:
            kw["ldname"] = lod["LDNAME"][i]
        ok(load_op(**kw))

    ind = case.pssind
    reals = ("MBASE RATEKV PSET H A B D E RA XA XM R1 X1 R2 X2 X3 E1 SE1 E2 SE2 IA1 IA2 IAM").split()
    ints = ("STATUS SCODE DCODE AREA ZONE OWNER TCODE BCODE PCODE").split()
    for i, num in enumerate(ind["NUM"]):
        kw = dict(ibus=num, id=ind["ID"][i])
        kw.update({f"intgar{k + 1}": ind[key][i] for k, key in enumerate(ints)})
        kw.update({f"realar{k + 1}": ind[key][i] for k, key in enumerate(reals)})
        if version >= 36.0:
            ok(p.induction_machine_data_2(indnamear=ind["IMNAME"][i], **kw))
        else:
            ok(p.induction_machine_data(**kw))


# --------------------------------------------------------------- comparing

TABLES = ("pssbus", "casbrn", "castrn", "pssgen", "pssfsh", "psswsh", "psslod", "pssind", "pssbrn", "psstrn",
          "pss3wt", "pssabx", "pssmsl", "psssub", "pssald")
# Values that went through a division by 100 and back.
SCALED = {("pssgen", k) for k in ("PG", "QG", "QT", "QB", "PT", "PB")} | {
    ("pssfsh", "SHUNT"), ("psswsh", "BI"), ("psslod", "LOAD"), ("psslod", "DGENPQ")}


def assert_same(a, b, where, scaled):
    if isinstance(a, tuple):
        assert isinstance(b, tuple) and len(a) == len(b), where
        for k, (x, y) in enumerate(zip(a, b)):
            assert_same(x, y, f"{where}[{k}]", scaled)
    elif scaled and isinstance(a, (float, complex)):
        assert type(a) is type(b), where
        for x, y in ((a.real, b.real), (a.imag, b.imag)):
            assert math.isclose(x, y, rel_tol=1e-12, abs_tol=0.0), f"{where}: {a!r} != {b!r}"
    else:
        assert type(a) is type(b) and a == b, f"{where}: {a!r} != {b!r}"


def assert_readings_agree(first, second):
    assert (first.cas_nbrn, first.cas_ntrn) == (second.cas_nbrn, second.cas_ntrn)
    for table in TABLES:
        one, two = getattr(first, table), getattr(second, table)
        assert list(one) == list(two), table
        for key in one:
            assert_same(one[key], two[key], f"{table}[{key}]", (table, key) in SCALED)


def without_newer_fields(reading, version):
    """What the reading becomes when fields an older release does not take
    fall back to their defaults."""
    if version >= 36.0:
        return reading
    reading.pssgen = dict(reading.pssgen, MCNAME=("",) * len(reading.pssgen["NUM"]),
                          BASLOD=(0,) * len(reading.pssgen["NUM"]))
    reading.psslod = dict(reading.psslod, LDNAME=("",) * len(reading.psslod["NUM"]))
    reading.pssind = dict(reading.pssind, IMNAME=("",) * len(reading.pssind["NUM"]))
    shunts = dict(reading.psswsh, SWNAME=("",) * len(reading.psswsh["NUM"]))
    if version < 35.0:
        shunts["SI"] = tuple(si[:1] + (1,) * 7 for si in shunts["SI"])
    reading.psswsh = shunts
    return reading


def test_the_source_reading_holds_what_was_created(sim):
    p = sim.psspy
    build_source_case(p)
    case = sim.reading("source")
    bus = case.pssbus
    assert bus["NUM"] == (101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 1000000, 1000001)
    b = BUSES[1]
    assert [bus[k][1] for k in ("IDE", "AREA", "ZONE", "OWNER")] == b["intgar"]
    assert [bus[k][1] for k in ("BASKV", "VM", "VA", "NMAXV", "NMINV", "EMAXV", "EMINV")] == b["realar"]

    brn = case.casbrn
    line = LINES[1]
    assert (brn["FRMBUS"][1], brn["TOBUS"][1], brn["CKT"][1], brn["STAT"][1], brn["METBUS"][1]) == (
        102, 103, "B2", 0, 103)
    assert brn["OWNER"][1] == (2, 3, 4, 5) and brn["OWNPCT"][1] == (0.25,) * 4
    r, x, bch, gi, bi, gj, bj, length = line["realar"][:8]
    assert (brn["RX"][1], brn["B"][1], brn["GBI"][1], brn["GBJ"][1], brn["LINLEN"][1]) == (
        complex(r, x), bch, complex(gi, bi), complex(gj, bj), length)
    assert brn["RATINGS"][1] == tuple(line["ratings"])
    assert brn["METBUS"][2] == 102 and brn["OWNER"][2] == (4, 0, 0, 0)

    trn = case.castrn
    assert case.cas_ntrn == 4
    t = TWO_WINDING[0]
    ia, ra = t["intgar"], t["realari"]
    assert trn["BUSNUM"][0] == (103, 104, 0) and trn["METBUS"][0] == 104
    assert (trn["CW"][0], trn["CZ"][0], trn["CM"][0], trn["STAT"][0]) == (2, 3, 2, 1)
    assert trn["NTAPS"][0] == (17, 0, 0) and trn["TABLE"][0] == (2, 0, 0) and trn["CONBUS"][0] == (104, 0, 0)
    assert trn["CNTL"][0] == (1, 0, 0) and trn["OWNER"][0] == (3, 4, 0, 0)
    assert trn["RX"][0] == (complex(ra[0], ra[1]), 0j, 0j) and trn["SBASE"][0] == (60.0, 0.0, 0.0)
    assert trn["WIND"][0] == (140.0, 137.5, 0.0) and trn["NOMV"][0] == (138.0, 138.0, 0.0)
    assert (trn["MAG1"][0], trn["MAG2"][0]) == (ra[12], ra[13])
    assert (trn["RMAX"][0], trn["RMIN"][0], trn["VMAX"][0], trn["VMIN"][0]) == (
        (150.0, 0.0, 0.0), (126.0, 0.0, 0.0), (1.04, 0.0, 0.0), (0.98, 0.0, 0.0))
    assert trn["XFRCMP"][0] == (complex(0.001, 0.02), 0j, 0j)
    assert trn["RATINGS"][0] == (tuple(t["ratings"]), (0.0,) * 12, (0.0,) * 12)
    assert (trn["TRNAME"][0], trn["VECGRP"][0], ia[12]) == ("MAIN XFMR", "YNd1", 1)
    three = THREE_WINDING[0]
    assert trn["BUSNUM"][2] == (107, 108, 109) and trn["METBUS"][2] == 109
    assert (trn["STAT"][2], trn["ZCOD"][2], trn["CW"][2], trn["CZ"][2]) == (2, 1, 3, 2)
    assert trn["SBASE"][2] == (120.0, 60.0, 80.0)
    assert trn["RX"][2] == (0.003 + 0.09j, 0.004 + 0.12j, 0.005 + 0.15j)
    assert trn["CONBUS"][2] == (108, 0, -107) and trn["CNTL"][2] == (1, 0, -1)
    assert trn["ANG"][2] == tuple(w["realari"][2] for w in three["windings"])
    assert trn["RATINGS"][2][1] == tuple(three["windings"][1]["ratings"])
    assert trn["METBUS"][3] == 103

    gen = case.pssgen
    assert gen["NUM"] == (101, 101, 102) and gen["IDE"] == ("1", "2", "W1")
    assert gen["RMPCT"] == (70.0, 30.0, 100.0)  # each machine keeps the share it was created with
    assert gen["VS"] == (1.04, 1.04, 1.015) and gen["IREG"] == (0, 0, 103)
    m = PLANTS_AND_MACHINES[1][1]["realar"]
    assert [gen[k][1] for k in ("PG", "QG", "QT", "QB", "PT", "PB")] == [v / 100 for v in m[:6]]
    assert (gen["MBASE"][1], gen["ZSORCE"][1], gen["GTAP"][1]) == (120.0, 0.2j, 1.0)
    assert (gen["STAT"][1], gen["BASLOD"][0], gen["MCNAME"][0], gen["WMOD"][2]) == (0, 1, "UNIT ONE", 2)
    assert gen["OWNER"][2] == (2, 3, 4, 5) and gen["WPF"][2] == 0.95

    assert case.pssfsh["SHUNT"] == (0.005 + 0.25j, -0.1275j)
    wsh = case.psswsh
    assert wsh["NI"][0] == (1, 2, 3, 1, 2, 3, 1, 9) and wsh["SI"][0] == (1, 0, 1, 0, 1, 1, 0, 1)
    assert wsh["BI"][0] == tuple(v / 100 for v in SWITCHED_SHUNTS[0]["realar"][:8])
    assert (wsh["MODSW"][0], wsh["SWREM"][0], wsh["ADJM"][0], wsh["BINIT"][0], wsh["RMPCT"][0]) == (
        2, 103, 1, 12.5, 80.0)
    lod = case.psslod
    assert lod["LOAD"][0] == (0.1 + 0.05j, 0.01 + 0.005j, 0.0025 - 0.00125j)
    assert (lod["DGENPQ"][1], lod["DGENM"][1], lod["LDINT"][1], lod["LDNAME"][1]) == (0.015 + 0.005j, 1, 1, "COM")
    assert (lod["AREA"][2], lod["OWNER"][2]) == (2, 5)
    ind = case.pssind
    assert [ind[k][0] for k in ("STATUS", "SCODE", "DCODE", "AREA", "ZONE", "OWNER", "TCODE", "BCODE", "PCODE")] == (
        INDUCTION_MACHINES[0]["intgar"])
    assert [ind[k][0] for k in "MBASE RATEKV PSET H A B D E RA XA XM R1 X1 R2 X2 X3 E1 SE1 E2 SE2 IA1 IA2 IAM"
            .split()] == INDUCTION_MACHINES[0]["realar"]
    assert ind["IMNAME"] == ("PUMP", "")

    assert case.pss3wt["NMETER"] == (109, 103) and case.psstrn["CONBUS"] == (104, 0)
    assert case.pssbrn["METBUS"] == (101, 103, 102)


@pytest.mark.parametrize("version", [36.2, 35.3, 34.4])
def test_transferring_every_element_reproduces_the_reading(sim, version):
    p = sim.psspy
    build_source_case(p)
    source = sim.reading("source")
    # A different system base: powers are reported per 100 MVA whatever it is.
    assert p.newcase_2(basemva=100.0) == 0
    transfer(p, source, version)
    copy = sim.reading("copy")
    assert_readings_agree(without_newer_fields(source, version), copy)
