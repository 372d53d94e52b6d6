#!/usr/bin/perl
# Loads a resource database with Palm::PDB and prints its resources, one line
# each: "type id offset size data" (data in lower-case hexadecimal, "-" when
# empty), for resource_interop_test.cpp to compare with `corvane records`.
# Usage: read_prc.pl INPUT.prc
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

# Palm::Raw registers itself for record databases only.
Palm::PDB::RegisterPRCHandlers("Palm::Raw", [ "", "" ]);

my $in = shift or die "usage: $0 INPUT.prc\n";
my $pdb = Palm::PDB->new();
$pdb->Load($in) or die "cannot load $in\n";
die "$in is no resource database\n" unless $pdb->{attributes}{ResDB};
for my $r (@{ $pdb->{resources} }) {
    my $hex = unpack("H*", $r->{data} // "");
    printf "%s %d %d %d %s\n", $r->{type}, $r->{id}, $r->{offset}, length($r->{data} // ""),
        $hex eq "" ? "-" : $hex;
}
