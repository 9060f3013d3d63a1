' Monthly sales on PostgreSQL: a table, a function and a view.
' Lines that begin with an apostrophe are VORLA's comments; an apostrophe
' anywhere else cuts the rest of its line, so texts stand in $$ quotes.
' Batches are separated by lines that hold only GO (vorla -b GO).

CREATE TABLE sale (
    id integer PRIMARY KEY,
    region text NOT NULL,   -- where it was sold
    amount numeric(10, 2) NOT NULL
)
GO

-- A PL/pgSQL function: its body keeps its line breaks, comments included.
CREATE FUNCTION with_tax(amount numeric) RETURNS numeric AS $$
BEGIN
    -- the standard rate
    RETURN round(amount * 1.2, 2);
END;
$$ LANGUAGE plpgsql
GO

INSERT INTO sale (id, region, amount) VALUES
    (1, $$North$$, 100.00),
    (2, $$South$$, 250.50),
    (3, $$North$$, 49.50)
GO

CREATE VIEW monthly AS
    SELECT region, sum(amount) AS net, with_tax(sum(amount)) AS gross
    FROM sale
    GROUP BY region
GO
