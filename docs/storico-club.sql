-- The club's shared training history on a PostgreSQL server: one database,
-- one role that may only read and write the history's tables in it. Run it
-- once as the server's administrator:
--
--     psql -U postgres -f storico-club.sql
--
-- then give the role its password (\password vexa_club in psql) and put it in
-- each station's ~/.pgpass ("host:5432:club:vexa_club:PASSWORD", mode 600).
-- The program creates its tables in the "storico" schema the first time a
-- station connects, and upgrades them there.

CREATE ROLE vexa_club LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS;
CREATE DATABASE club ENCODING 'UTF8' TEMPLATE template0;

-- Nobody else may connect to the club's database; the role may connect to no other.
REVOKE ALL ON DATABASE club FROM PUBLIC;
GRANT CONNECT ON DATABASE club TO vexa_club;

\connect club
REVOKE ALL ON SCHEMA public FROM PUBLIC;
-- The history's tables live in a schema the role owns, where the program
-- makes and upgrades them; the role has no right anywhere else.
CREATE SCHEMA storico AUTHORIZATION vexa_club;
ALTER ROLE vexa_club IN DATABASE club SET search_path = storico;
