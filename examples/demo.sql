' A small shop: customers, products and their orders.
' Batches are separated by lines that hold only GO (vorla -b GO).

CREATE TABLE customer (
    id INTEGER PRIMARY KEY,
    name TEXT(40) NOT NULL,
    city TEXT(40)
)
GO

CREATE TABLE product (
    id INTEGER PRIMARY KEY,
    title TEXT(60) NOT NULL,
    price NUMERIC(10, 2) NOT NULL
)
GO

CREATE TABLE orders (
    id INTEGER PRIMARY KEY,
    customer_id INTEGER NOT NULL REFERENCES customer(id),
    product_id INTEGER NOT NULL REFERENCES product(id),
    quantity INTEGER NOT NULL
)
GO

INSERT INTO customer (id, name, city) VALUES (1, "Ada Byron", "London")
GO
INSERT INTO customer (id, name, city) VALUES (2, "Grace Hopper", "New York")
GO
INSERT INTO customer (id, name, city) VALUES (3, "Edsger Dijkstra", "Nuenen")
GO

INSERT INTO product (id, title, price) VALUES (1, "Punched cards (box)", 4.50)
GO
INSERT INTO product (id, title, price) VALUES (2, "Slide rule", 12.00)
GO

INSERT INTO orders (id, customer_id, product_id, quantity) VALUES (1, 1, 2, 1)
GO
INSERT INTO orders (id, customer_id, product_id, quantity) VALUES (2, 2, 1, 3)
GO
INSERT INTO orders (id, customer_id, product_id, quantity) VALUES (3, 3, 1, 10)
GO
