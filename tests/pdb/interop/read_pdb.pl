#!/usr/bin/perl
# Loads a record database with Palm::PDB and prints what it read, one
# "key=value" line each, for interop_test.cpp to compare. Bytes are printed
# in lower-case hexadecimal; a deleted record's bytes are left out, since the
# other side reads none for it.
# Usage: read_pdb.pl INPUT.pdb
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;
use Palm::StdAppInfo ();  # its parser only: as a handler it would replace Palm::Raw

my $in = shift or die "usage: $0 INPUT.pdb\n";
my $pdb = Palm::PDB->new();
$pdb->Load($in) or die "cannot load $in\n";

sub hex_of { return unpack("H*", $_[0] // ""); }
sub flags_of {
    my $a = shift;
    return join(",", grep { $a->{$_} } qw(Secret Busy Dirty Delete));
}

print "name=", hex_of($pdb->{name}), "\n";
print "attributes=", join(",", sort grep { /^[A-Z]\w*$/ && $pdb->{attributes}{$_} }
                                    keys %{ $pdb->{attributes} }), "\n";
print "$_=$pdb->{$_}\n" for qw(version ctime mtime baktime modnum type creator uniqueIDseed);
print "appinfo=", hex_of($pdb->{appinfo}), "\n";
print "sort=", hex_of($pdb->{sort}), "\n";

my $cats = {};
if (defined Palm::StdAppInfo::parse_StdAppInfo($cats, $pdb->{appinfo} // "")) {
    for my $i (0 .. 15) {
        my $c = $cats->{categories}[$i];
        print "category$i=", hex_of($c->{name}), ":", $c->{id}, "\n";
    }
    print "lastUniqueID=$cats->{lastUniqueID}\n";
    print "other=", hex_of($cats->{other}), "\n";
}

my $n = 0;
for my $r (@{ $pdb->{records} }) {
    printf "record%d=id:%d category:%s flags:%s data:%s\n", $n++, $r->{id},
        $r->{category} // "-", flags_of($r->{attributes}),
        $r->{attributes}{Delete} ? "" : hex_of($r->{data});
}
print "records=$n\n";
