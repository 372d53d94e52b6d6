#!/usr/bin/perl
# Writes a resource database with Palm::PDB: an application-info block and
# resources of several sizes (one empty), for resource_interop_test.cpp.
# Usage: write_prc.pl OUTPUT.prc
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

# Palm::Raw registers itself for record databases only.
Palm::PDB::RegisterPRCHandlers("Palm::Raw", [ "", "" ]);

my $out = shift or die "usage: $0 OUTPUT.prc\n";
my $pdb = Palm::Raw->new();
$pdb->{name} = "Written by Perl";
$pdb->{type} = "appl";
$pdb->{creator} = "PrlW";
$pdb->{attributes}{ResDB} = 1;
$pdb->{attributes}{Backup} = 1;
$pdb->{attributes}{Bundle} = 1;
$pdb->{appinfo} = "app";
my @resources = (
    ["code", 0, pack("N*", 1, 2, 3)],
    ["code", 1, "\x4e\x75" x 40],
    ["tSTR", 1000, "Hello"],
    ["data", 0, ""],
    ["tver", 1, "1.0\0"],
);
for my $r (@resources) {
    my $res = $pdb->append_Resource();
    ($res->{type}, $res->{id}, $res->{data}) = @$r;
}
$pdb->Write($out) or die "cannot write $out\n";
