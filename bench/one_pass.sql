-- The lower bound of "Check All" on a database: one pass over each of the
-- four tables it reads, reading the columns it reads (the money added up, the
-- tenant codes, ledger codes and dates compared), the database adding up by
-- itself with nothing sent back but a row a table. The same text runs in
-- sqlite3 (with SQLite's default page cache) and in psql:
--
--   sqlite3 property.mdb < bench/one_pass.sql
--   psql -X -q -f bench/one_pass.sql habitorium
select count(*), max(reference), max(name) from tenancy;
select count(*), sum(amount), max(tenant_code), max("revenue group") from revenues
 where "revenue group" = (select rent_group from options)
    or "revenue group" in (select gl_code from glcodes where pay_extra_charges <> 0);
select count(*), sum(value), max(tenantcode) from rent_periods_charges;
select count(*), max(tenant_code), max(period_from), sum(rent_due), sum(paid), sum(extra_charges),
       sum(extra_charges_paid) from rent_periods;
