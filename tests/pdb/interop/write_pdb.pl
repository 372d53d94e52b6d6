#!/usr/bin/perl
# Writes a record database with Palm::PDB for interop_test.cpp: header
# attributes and dates, a category table with custom IDs followed by data of
# the application's own, a sort-info block, records with every flag, unique
# IDs of 24 bits, a zero-length record and deleted records.
# Usage: write_pdb.pl OUTPUT.pdb
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;
use Palm::StdAppInfo;

my $out = shift or die "usage: $0 OUTPUT.pdb\n";

my $pdb = Palm::Raw->new({ uniqueIDseed => 0x00ABC000 });
$pdb->{name}    = "Perl Interop";
$pdb->{type}    = "DATA";
$pdb->{creator} = "PlIO";
$pdb->{version} = 3;
$pdb->{modnum}  = 42;
$pdb->{ctime}   = 1700000000;  # seconds since 1970; written as seconds since 1904
$pdb->{mtime}   = 1700003600;
$pdb->{baktime} = 1700007200;
$pdb->{attributes}{$_} = 1 for qw(Backup OKToInstallNewer CopyPrevention);

my $appinfo = {};
Palm::StdAppInfo::seed_StdAppInfo($appinfo);
my @names = ("Unfiled", "Work", "Home", "Caf\xe9", "SixteenCharsLong");
my @ids   = (0, 17, 18, 19, 20);
for my $i (0 .. $#names) {
    $appinfo->{categories}[$i]{name} = $names[$i];
    $appinfo->{categories}[$i]{id}   = $ids[$i];
}
$appinfo->{lastUniqueID} = 20;
$appinfo->{other} = "EXTRA";
$pdb->{appinfo} = Palm::StdAppInfo::pack_StdAppInfo($appinfo);
$pdb->{sort} = "\x01\x02\x03";

my @records = (
    { data => "alpha",                category => 1, id => 0x000101, attributes => { Dirty => 1 } },
    { data => "bravo\0bytes",         category => 2, id => 0x000102, attributes => { Secret => 1 } },
    { data => join("", map { chr } 0 .. 255), category => 15, id => 0xABCDEF,
      attributes => { Busy => 1 } },
    { data => "",                     category => 3, id => 0x000104, attributes => {} },
    { data => "gone",                 category => 0, id => 0x000105,
      attributes => { Delete => 1, Dirty => 1 } },
    { data => "last",                 category => 4, id => 0xFFFFFF,
      attributes => { Dirty => 1, Secret => 1 } },
);
for my $r (@records) {
    my $rec = $pdb->append_Record();
    $rec->{$_} = $r->{$_} for qw(data category id);
    $rec->{attributes} = $r->{attributes};
}
# Palm::PDB warns on stdout about the zero-length record; keep stdout clean.
open(my $saved, ">&", \*STDOUT) or die;
open(STDOUT, ">", "/dev/null") or die;
$pdb->Write($out) or die "cannot write $out\n";
open(STDOUT, ">&", $saved) or die;
