function mpc = variants
mpc.version = '2';
mpc.baseMVA = 1e2;  % comment
mpc.bus = [
	1, 3, 0, 0, 0, 0, 1, 1.05, 0, 138, 1, 1.1, 0.9
	2 2 +10 -5 1.5 .25 2 1. -3.5E0 230 3 Inf 0.9 ;% comment
	3 1 0 0 0 0 2 1 0 ...  continued
	    138 1 1.1 0.9;  4 4 0 0 0 0 2 1 0 138 1 1.1 0.9;
];
mpc.gen = [
  2 10 0 Inf -Inf 1.02 100 0 50 0;
  2 20 0 30  -30  1.03 100 1 50 0;
];
mpc.branch = [
  1 2 0.01 0.1 0.02 100 0 0 1 0 1 -360 360;
  2 3 0.01 0.1 0.04 0 0 0 0.95 -3 1;
  1 3 0.01 0.1 0 0 0 0 0 0 0;
];
mpc.gencost = [ 2 0 0 3 0.1 1 0; ];
mpc.bus_name = { 'ONE'; 'TWO''S'; "THREE"; 'FOUR' };
mpc.custom = [1 2 3];
